#include "index/messages/folder_cache_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>
#include <string>

#include "platform/file_handle.h"
#include "support/store_fixture.h"

namespace tw {
namespace {

std::string Bytes(std::initializer_list<uint32_t> words) {
  std::string bytes;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((w >> (8 * i)) & 0xFF);
  return bytes;
}

FolderDetails Details(std::initializer_list<std::pair<int, uint32_t>> words) {
  FolderDetails details;
  for (const auto& [word, value] : words) details.counters[word] = value;
  return details;
}

// A mail root with postoffice PO and mailbox bob.
class CacheFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { test::MakeDirs(mailbox_ + "/Inbox"); }

  test::MailRoot mail_{"", "/ROOT"};
  std::string root_ = mail_.root();
  std::string mailbox_ = root_ + "/PO/MAILROOT/bob";
  test::FastSleep fast_;
};

TEST(FolderDetailsTest, Normalise) {
  const struct {
    FolderDetails in, out;
  } cases[] = {
      {Details({{6, 3}, {7, 5}}), Details({{6, 3}, {7, 3}})},
      {Details({{6, 0xFFFFFFFF}, {7, 2}}), Details({})},
      {Details({{6, 4}, {1, 0xFFFFFFF0}, {3, 9}, {8, 2}, {9, 0}, {5, 0xFFFFFFFF}}),
       Details({{6, 4}, {3, 4}, {8, 2}, {5, 0xFFFFFFFF}})},
      {Details({{6, 10}, {4, 99}, {10, 99}, {11, 99}}), Details({{6, 10}, {4, 99}, {10, 99}, {11, 99}})},
  };
  for (const auto& c : cases) {
    FolderDetails d = c.in;
    NormaliseFolderDetails(d);
    for (int i = 0; i < FolderDetails::kCount; ++i) EXPECT_EQ(d.counters[i], c.out.counters[i]) << (&c - cases) << i;
  }
}

TEST_F(CacheFilesTest, FolderDatReadsNormalisesAndKeepsUncoveredWords) {
  const std::string path = mailbox_ + "/Inbox/_FOLDER.DAT";
  FolderDetails details = Details({{12, 42}});
  EXPECT_EQ(ReadFolderDatFile(path, details), 0u);
  EXPECT_EQ(details.counters[12], 0u);
  EXPECT_EQ(fast_.Calls(), 0u);

  test::WriteFile(path, Bytes({0, 0, 0, 1, 2, 0, 3, 7, 1}));
  details = Details({{12, 42}});
  EXPECT_EQ(ReadFolderDatFile(path, details), 36u);
  EXPECT_EQ(details.counters[3], 1u);
  EXPECT_EQ(details.counters[6], 3u);
  EXPECT_EQ(details.counters[7], 3u);  // seen above the item count
  EXPECT_EQ(details.counters[8], 1u);
  EXPECT_EQ(details.counters[12], 42u);
  test::WriteFile(path, Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9}) + std::string("\x05\x01", 2));
  details = Details({{12, 0x33333333}});
  EXPECT_EQ(ReadFolderDatFile(path, details), 50u);
  EXPECT_EQ(details.counters[11], 9u);
  EXPECT_EQ(details.counters[12], 0x33330105u);

  // Not openable for another reason: one more try after a second, then zeros.
  details = Details({{6, 1}});
  EXPECT_EQ(ReadFolderDatFile(mailbox_ + "/Inbox", details), 0u);
  EXPECT_EQ(details.counters[6], 0u);
  EXPECT_EQ(fast_.Calls(), 1u);
  EXPECT_EQ(fast_.TotalMilliseconds(), 1000u);
}

TEST_F(CacheFilesTest, CachedStatusRoundTrip) {
  EXPECT_EQ(SetCachedStatus("PO", "bob", "Inbox", Details({{6, 2}, {7, 5}, {11, 9}})), 1);
  EXPECT_EQ(test::ReadFile(mailbox_ + "/Inbox/_FOLDER.DAT"), Bytes({0, 0, 0, 0, 0, 0, 2, 2, 0, 0, 0, 9, 0}));
  FolderDetails read = Details({{12, 5}});
  EXPECT_EQ(GetCachedStatus("PO", "bob", "\\Inbox", read), 1);
  EXPECT_EQ(read.counters[7], 2u);
  EXPECT_EQ(read.counters[11], 9u);
  EXPECT_EQ(read.counters[12], 0u);

  test::WriteFile(mailbox_ + "/_FOLDER.DAT", Bytes({0, 0, 0, 0, 0, 0, 4}));
  EXPECT_EQ(GetCachedStatus("PO", "bob", "", read), 1);
  EXPECT_EQ(read.counters[6], 4u);
  for (const auto& [po, mb, folder] : {std::tuple{"", "bob", "Inbox"}, std::tuple{"PO", "", "Inbox"},
                                       std::tuple{"PO", "bob", ""}, std::tuple{"PO", "..", "Inbox"}})
    EXPECT_EQ(SetCachedStatus(po, mb, folder, Details({{6, 1}})), 0) << po << mb << folder;
  EXPECT_EQ(test::ReadFile(mailbox_ + "/_FOLDER.DAT"), Bytes({0, 0, 0, 0, 0, 0, 4}));
  EXPECT_EQ(GetCachedStatus("PO", "bob", "Sent", read), 0);
  EXPECT_EQ(read.counters[6], 0u);
  test::WriteFile(mailbox_ + "/Inbox/_FOLDER.DAT", "");
  EXPECT_EQ(GetCachedStatus("PO", "bob", "Inbox", read), 0);
}

TEST_F(CacheFilesTest, SizeFilesAddAndClamp) {
  const std::string mailboxFile = mailbox_ + "/_DIRSIZE.TMP";
  const std::string folderFile = mailbox_ + "/Inbox/_DIRSIZE.TMP";
  const std::string fileRoot = root_ + "/PO/FILEROOT/bob";
  test::MakeDirs(fileRoot);
  const struct {
    const char* mailboxBefore;
    const char* folderBefore;
    int32_t delta;
    const char* folderName;
    const char* mailboxAfter;
    const char* folderAfter;
  } cases[] = {
      {"3", "3", -5, "Inbox", "0", "0"},
      {"10", "7 junk", 5, "\\Inbox", "15", "12"},
      {"10", "7", 0, "Inbox", "10", "7"},
      {"x", "2147483647", 9, "Inbox", "9", "2147483647"},
      {"10", "7", 5, "", "15", "7"},
      {nullptr, "7", 5, "Inbox", nullptr, "12"},
      {"10", "7", 5, "$FILEROOT\\docs", "10", "7"},
  };
  for (const auto& c : cases) {
    std::remove(mailboxFile.c_str());
    std::remove(folderFile.c_str());
    if (c.mailboxBefore) test::WriteFile(mailboxFile, c.mailboxBefore);
    test::WriteFile(folderFile, c.folderBefore);
    AddToSizeFile("PO", "bob", c.delta, c.folderName);
    EXPECT_EQ(test::PathExists(mailboxFile), c.mailboxAfter != nullptr) << (&c - cases);
    if (c.mailboxAfter) {
      EXPECT_EQ(test::ReadFile(mailboxFile), c.mailboxAfter) << (&c - cases);
    }
    EXPECT_EQ(test::ReadFile(folderFile), c.folderAfter) << (&c - cases);
  }
  test::WriteFile(fileRoot + "/_DIRSIZE.TMP", "4");
  AddToSizeFile("PO", "bob", 2, "$FILEROOT");
  EXPECT_EQ(test::ReadFile(fileRoot + "/_DIRSIZE.TMP"), "6");

  // Held by someone else: deleted where possible, so the size is counted afresh.
  auto held = platform::OpenFile(mailboxFile, platform::Access::Read, platform::Share::None,
                                 platform::Disposition::OpenAlways);
  ASSERT_TRUE(held.IsOpen());
  AddToSizeFile("PO", "bob", 2, "Inbox");
  held.Close();
  EXPECT_EQ(test::ReadFile(mailboxFile), "10");
  EXPECT_EQ(test::ReadFile(folderFile), "9");
}

TEST_F(CacheFilesTest, FolderSizeFileInKilobytes) {
  const std::string folder = mailbox_ + "/Inbox";
  for (const auto& [bytes, text] : {std::pair{0ull, "0"}, std::pair{1023ull, "0"}, std::pair{2048ull, "2"},
                                    std::pair{1ull << 45, "2147483647"}}) {
    ASSERT_TRUE(WriteFolderSizeFile(folder, bytes));
    EXPECT_EQ(test::ReadFile(folder + "/_DIRSIZE.TMP"), text);
  }
  EXPECT_FALSE(WriteFolderSizeFile(folder + "/missing", 5));
}

}  // namespace
}  // namespace tw
