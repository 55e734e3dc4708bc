// The folder-list exports as a host calls them, through the loaded library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/test_support.h"
#include "twstore.h"

namespace {

class FolderListExports : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(TW_TEST_LIB_DIR "/libtwstore.so", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }
  template <typename Fn>
  Fn Get(const char* name) {
    void* symbol = dlsym(handle_, name);
    EXPECT_NE(symbol, nullptr) << name;
    return reinterpret_cast<Fn>(symbol);
  }

  tw::test::ScratchDir dir_;
  tw::test::ScopedRegistry registry_{tw::test::RegistryWithMailRoot(dir_.path())};
  void* handle_ = nullptr;
};

TEST_F(FolderListExports, AnExplicitListAndTheThreadsOwnEnumerateAlike) {
  using Place = uint32_t (*)(TwFolderList**);
  using One = uint32_t (*)(TwFolderList*);
  using Find = uint32_t (*)(FolderRecord*, TwFolderList*, uint8_t);
  auto create = Get<Place>("CreateTLSFolderList");
  auto init = Get<One>("InitTLSFolderList");
  auto uninit = Get<One>("UnInitTLSFolderList");
  auto release = Get<Place>("FreeTLSFolderList");
  auto first = Get<Find>("TLS_StoreFolderFindFirst");
  auto next = Get<Find>("TLS_StoreFolderFindNext");
  auto close = Get<uint32_t (*)(FolderRecord*, TwFolderList*)>("TLS_StoreFolderFindClose");

  tw::test::MakeDirs(dir_ / "po/MAILROOT/alice/Inbox");
  tw::test::MakeDirs(dir_ / "po/MAILROOT/alice/Work");
  FolderRecord record;
  std::memset(&record, 0, sizeof record);
  std::strcpy(record.mailbox, "alice");
  std::strcpy(record.postoffice, "po");
  std::strcpy(record.path, "/");

  TwFolderList* list = nullptr;
  EXPECT_EQ(create(&list), 1u);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(init(list), 1u);
  for (TwFolderList* use : {list, static_cast<TwFolderList*>(nullptr)}) {
    ASSERT_EQ(first(&record, use, 1), 1u);
    EXPECT_STREQ(record.name, "Inbox");
    ASSERT_EQ(next(&record, use, 1), 1u);
    EXPECT_STREQ(record.name, "Work");
    EXPECT_EQ(next(&record, use, 1), 0u);
    EXPECT_EQ(close(&record, use), 1u);
  }
  EXPECT_EQ(tw::test::ReadFile(dir_ / "po/MAILROOT/alice/_folder.xml"),
            "<folderindex><folder><name><![CDATA[Inbox]]></name></folder><folder><name><![CDATA[Work]]>"
            "</name></folder></folderindex>");
  EXPECT_EQ(uninit(list), 1u);
  EXPECT_EQ(uninit(list), 1u);
  EXPECT_EQ(release(&list), 1u);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(release(&list), 1u);
  EXPECT_EQ(release(nullptr), 1u);
  EXPECT_EQ(first(nullptr, nullptr, 0), 0u);
  EXPECT_EQ(create(nullptr), 1u);
}

}  // namespace
