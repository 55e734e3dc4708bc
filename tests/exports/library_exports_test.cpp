// Loads the shared library as a host would and calls its exports. It stays
// mapped after dlclose (RTLD_NODELETE) so that the leak checker still sees
// the objects its globals hold.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "support/test_support.h"
#include "twstore.h"

namespace {

class ExportedLibrary : public ::testing::Test {
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

TEST_F(ExportedLibrary, MemoryCalls) {
  auto allocate = Get<void* (*)(uint64_t)>("Memory_Allocate");
  auto release = Get<uint32_t (*)(void*)>("Memory_Free");
  void* block = allocate(64);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(release(block), 1u);
  EXPECT_EQ(release(nullptr), 1u);
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's allocator aborts instead
  EXPECT_EQ(allocate(UINT64_MAX), nullptr);
#endif
}

TEST_F(ExportedLibrary, BlockFilesThroughTheCInterface) {
  auto take = Get<uint32_t (*)(const char*, uint32_t, uintptr_t*)>("WaitForAccessToIndexFileEx");
  auto release = Get<uint32_t (*)(const char*, uint32_t, uintptr_t*)>("UnBlockIndexFileAccessEx");
  const std::string path = dir_ / "_index.blk";
  uintptr_t handle = 0;
  ASSERT_EQ(take(path.c_str(), 1, &handle), 1u);
  EXPECT_NE(handle, 0u) << "a held block's handle is never 0";
  EXPECT_EQ(release(path.c_str(), 1, &handle), 1u);
  EXPECT_EQ(handle, 0u);
  EXPECT_FALSE(tw::test::PathExists(path));
  ASSERT_EQ(take(path.c_str(), 0, &handle), 1u);
  EXPECT_EQ(handle, 0u) << "a marker block has no handle";
  EXPECT_TRUE(tw::test::PathExists(path));
  EXPECT_EQ(release(path.c_str(), 0, &handle), 1u);
  EXPECT_EQ(take(path.c_str(), 99, &handle), 1u) << "mode 99: the caller holds it already";
  EXPECT_FALSE(tw::test::PathExists(path));
  EXPECT_EQ(take(nullptr, 1, &handle), 0u);
}

TEST_F(ExportedLibrary, GetXMLDataExReturnsWhereTheTextGoesOn) {
  auto get = Get<const char* (*)(const char*, const char*, const char*, char*, uint32_t)>("GetXMLDataEx");
  const char text[] = "<SUBJECT>word</SUBJECT> trailing";
  char buffer[8];
  EXPECT_EQ(get(text, "<SUBJECT>", "</SUBJECT>", buffer, sizeof buffer), text + 23);
  EXPECT_STREQ(buffer, "word");
  EXPECT_EQ(get(text, "<FROM>", "</FROM>", buffer, sizeof buffer), nullptr);
  EXPECT_EQ(get(nullptr, "<a>", "</a>", buffer, sizeof buffer), nullptr);
}

TEST_F(ExportedLibrary, StoreIndexThroughTheCInterface) {
  ASSERT_EQ(Get<uint32_t (*)()>("StoreLibrary_Init")(), 1u);
  const std::string inbox = dir_.path() + "/PO/MAILROOT/bob/Inbox";
  tw::test::WriteFile(inbox + "/1.MAI", "From: a@b\r\nSubject: hello\r\n\r\nbody\r\n");
  auto insert = Get<int32_t (*)(const char*, const char*, const char*, const char*)>("Direct_StoreIndex_InsertItem");
  EXPECT_EQ(insert("PO", "bob", "\\Inbox", "1.MAI"), 1);

  auto record = std::make_unique<STOREINDEXTYPE>();
  EXPECT_EQ(Get<uint32_t (*)(STOREINDEXTYPE*)>("StoreIndex_Init")(record.get()), 1u);
  std::snprintf(record->postoffice, sizeof record->postoffice, "PO");
  std::snprintf(record->mailbox, sizeof record->mailbox, "bob");
  std::snprintf(record->folder, sizeof record->folder, "\\Inbox");
  EXPECT_EQ(Get<uint32_t (*)(STOREINDEXTYPE*)>("StoreIndex_SetPaths")(record.get()), 1u);
  EXPECT_EQ(Get<uint32_t (*)(STOREINDEXTYPE*, uint32_t)>("StoreIndex_Open")(record.get(), 5), 1u);
  EXPECT_EQ(record->itemCount, 1u);
  auto item = std::make_unique<StoreItemRecord>();
  auto byId = Get<uint32_t (*)(STOREINDEXTYPE*, const char*, int32_t, StoreItemRecord*)>("GetStoreItemByMessageID");
  ASSERT_EQ(byId(record.get(), "1.MAI", 1, item.get()), 1u);
  EXPECT_STREQ(item->subject, "hello");
  EXPECT_EQ(item->uid, 1u);
  EXPECT_EQ(byId(record.get(), "2.MAI", 1, item.get()), 0u);
  EXPECT_EQ(Get<uint32_t (*)(STOREINDEXTYPE*)>("StoreIndex_Release")(record.get()), 1u);

  testing::internal::CaptureStdout();
  EXPECT_EQ(Get<uint32_t (*)(STOREINDEXTYPE*)>("StoreIndex_Save")(nullptr), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARNING!: StoreIndex is NULL when passed to StoreIndex_Save\n");
  EXPECT_EQ(Get<uint32_t (*)()>("StoreLibrary_UnInit")(), 1u);
}

TEST_F(ExportedLibrary, InternalsStayHidden) {
  EXPECT_EQ(dlsym(handle_, "_ZN2tw16StoreLibraryInitEv"), nullptr);
  EXPECT_EQ(dlsym(handle_, "_ZN2tw8platform13GetLastErrorEv"), nullptr);
}

// Folder lists: an explicit list and the thread's own enumerate alike.
TEST_F(ExportedLibrary, FolderListsAndSubFolderEnumeration) {
  ASSERT_EQ(Get<uint32_t (*)()>("StoreLibrary_Init")(), 1u);  // reads this test's mail root
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
