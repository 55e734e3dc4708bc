// Enumerating sub-folders through folder lists: rebuilds when the folder
// index is missing or flagged, the parsed list reused until the file
// changes, hostile and malformed files, and the thread's own list.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "folders/tree/folder_enumeration.h"
#include "folders/tree/folder_index_file.h"
#include "folders/tree/folder_index_flag.h"
#include "folders/tree/folder_list.h"
#include "frame/store_paths.h"
#include "frame/thread_state.h"
#include "support/store_fixture.h"
#include "support/test_support.h"

namespace tw {
namespace {

using test::PathExists;
using test::ReadFile;
using test::WriteFile;

class FolderEnumeration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(AllocateThreadSlots());
    mailbox_ = root_.dir().path() + "/POSTOFFICES/po/MAILROOT/alice";
    test::MakeDirs(mailbox_);
    list_ = CreateFolderList();
    InitFolderList(*list_);
  }
  void TearDown() override {
    UnInitFolderList(*list_);
    FreeFolderList(list_);
  }

  FolderRecord Record(const std::string& path) {
    FolderRecord record;
    std::memset(&record, 0, sizeof record);
    std::strcpy(record.mailbox, "alice");
    std::strcpy(record.postoffice, "po");
    std::strcpy(record.path, path.c_str());
    return record;
  }
  // Every name one enumeration returns.
  std::vector<std::string> Names(const std::string& path, bool verify = false, FolderList* list = nullptr,
                                 bool ownList = true) {
    FolderRecord record = Record(path);
    FolderList* use = ownList ? list_ : list;
    std::vector<std::string> names;
    for (uint32_t found = FindFirstSubFolder(record, use, verify); found == 1;
         found = FindNextSubFolder(record, use, verify)) {
      names.emplace_back(record.name);
    }
    return names;
  }
  void WriteIndex(const std::string& folder, const std::string& text) { WriteFile(folder + "/_folder.xml", text); }

  test::MailRoot root_;
  std::string mailbox_;
  FolderList* list_ = nullptr;
};

using NameList = std::vector<std::string>;

TEST_F(FolderEnumeration, FirstEnumerationIndexesTheFolderAndAFlagMakesItRebuild) {
  test::MakeDirs(mailbox_ + "/SENT ITEMS");
  test::MakeDirs(mailbox_ + "/Work/Sub");
  EXPECT_EQ(Names("\\"), (NameList{"Sent Items", "Work"}));
  EXPECT_TRUE(PathExists(mailbox_ + "/_folder.xml"));
  EXPECT_EQ(Names("/Work"), (NameList{"Sub"}));
  EXPECT_TRUE(PathExists(mailbox_ + "/Work/_folder.xml"));

  test::MakeDirs(mailbox_ + "/Archive");
  EXPECT_EQ(Names("\\"), (NameList{"Sent Items", "Work"}));  // the index does not know yet
  ASSERT_TRUE(MarkFolderIndexOutOfDate(mailbox_));
  EXPECT_EQ(Names("\\"), (NameList{"Archive", "Sent Items", "Work"}));
  EXPECT_FALSE(PathExists(mailbox_ + "/_folder.dty"));
}

TEST_F(FolderEnumeration, NamesComeSortedByteWiseOnceEachAndTheEndLeavesTheRecordAlone) {
  WriteIndex(mailbox_, FolderIndexText({"b", "Zed", "a", "b", "Apple"}));
  FolderRecord record = Record("\\");
  ASSERT_EQ(FindFirstSubFolder(record, list_, false), 1u);
  EXPECT_STREQ(record.name, "Apple");
  std::vector<std::string> rest;
  while (FindNextSubFolder(record, list_, false) == 1) rest.emplace_back(record.name);
  EXPECT_EQ(rest, (NameList{"Zed", "a", "b"}));
  EXPECT_STREQ(record.name, "b");
  EXPECT_EQ(FindNextSubFolder(record, list_, false), 0u);
  EXPECT_STREQ(record.name, "b");

  WriteIndex(mailbox_, "<folderindex></folderindex>");
  EXPECT_EQ(Names("\\"), NameList{});
}

TEST_F(FolderEnumeration, AChangedFileIsReadAgainAnUnchangedOneIsReused) {
  WriteIndex(mailbox_, FolderIndexText({"One"}));
  EXPECT_EQ(Names("\\"), (NameList{"One"}));
  FolderListEntry* entry = FindFolderEntry(*list_, FolderDirectoryForRecord("alice", "po", "\\"));
  ASSERT_NE(entry, nullptr);
  EXPECT_NE(entry->stamp, 0u);
  // Reused: the parsed names stand until the file changes.
  entry->names.insert(entry->names.begin(), "Cached");
  EXPECT_EQ(Names("\\"), (NameList{"Cached", "One"}));
  // Rewritten within the same second, as a rebuild in another process does.
  WriteFile(mailbox_ + "/_folder.xml.new", FolderIndexText({"Two"}));
  std::filesystem::rename(mailbox_ + "/_folder.xml.new", mailbox_ + "/_folder.xml");
  EXPECT_EQ(Names("\\"), (NameList{"Two"}));
}

TEST_F(FolderEnumeration, AMalformedFileIsDeletedAndRebuiltNextTime) {
  test::MakeDirs(mailbox_ + "/Inbox");
  for (const std::string bad : {"<folderindex><folder>", "not xml at all", "", "<a/><b/>"}) {
    WriteIndex(mailbox_, bad);
    EXPECT_EQ(Names("\\"), NameList{}) << bad;
    EXPECT_FALSE(PathExists(mailbox_ + "/_folder.xml")) << bad;
    EXPECT_EQ(Names("\\"), (NameList{"Inbox"})) << bad;
  }
}

TEST_F(FolderEnumeration, HostileNamesInTheFileAreNeverHandedOut) {
  const std::string longest(511, 'n');
  WriteIndex(mailbox_, "<folderindex><folder><name><![CDATA[..]]></name></folder>"
                       "<folder><name>../../other</name></folder><folder><name>a\\b</name></folder>"
                       "<folder><name></name></folder><folder><name>" +
                           std::string(512, 'x') + "</name></folder><folder><name>" + longest +
                           "</name></folder><folder><name>&lt;ok&gt;</name></folder></folderindex>");
  EXPECT_EQ(Names("\\"), (NameList{"<ok>", longest}));
}

TEST_F(FolderEnumeration, VerifyLeavesOutNamesWhoseDirectoryIsGone) {
  test::MakeDirs(mailbox_ + "/Kept");
  WriteIndex(mailbox_, FolderIndexText({"Gone", "Kept"}));
  EXPECT_EQ(Names("\\", true), (NameList{"Kept"}));
  FolderList other;
  EXPECT_EQ(Names("\\", false, &other, false), (NameList{"Gone", "Kept"}));
}

TEST_F(FolderEnumeration, AFolderRemovedWhileEnumeratedEndsCleanly) {
  for (const char* name : {"A", "B", "C"}) test::MakeDirs(mailbox_ + "/" + name);
  FolderRecord record = Record("\\");
  ASSERT_EQ(FindFirstSubFolder(record, list_, true), 1u);
  EXPECT_STREQ(record.name, "A");
  // Another process removes B and C and marks the index, as a remove does.
  std::filesystem::remove_all(mailbox_ + "/B");
  std::filesystem::remove_all(mailbox_ + "/C");
  ASSERT_TRUE(MarkFolderIndexOutOfDate(mailbox_));
  // This enumeration goes on with what it read; the next one sees the change.
  ASSERT_EQ(FindNextSubFolder(record, list_, true), 1u);
  EXPECT_STREQ(record.name, "B");
  EXPECT_EQ(Names("\\", true), (NameList{"A"}));

  // The listed folder itself goes away.
  std::filesystem::remove_all(mailbox_);
  EXPECT_EQ(Names("\\"), NameList{});
  EXPECT_FALSE(PathExists(mailbox_));
}

TEST_F(FolderEnumeration, RecordsThatLeadElsewhereListNothing) {
  test::MakeDirs(root_.dir().path() + "/POSTOFFICES/po/MAILROOT/bob/Secret");
  EXPECT_EQ(Names("\\..\\bob"), NameList{});
  FolderRecord record = Record("\\");
  std::memset(record.mailbox, 'm', sizeof record.mailbox);  // no terminator in the field
  EXPECT_EQ(FindFirstSubFolder(record, list_, false), 0u);
  std::strcpy(record.mailbox, "..");
  EXPECT_EQ(FindFirstSubFolder(record, list_, false), 0u);
  EXPECT_FALSE(PathExists(root_.dir().path() + "/POSTOFFICES/po/MAILROOT/bob/_folder.xml"));
  EXPECT_FALSE(PathExists(root_.dir().path() + "/POSTOFFICES/po/MAILROOT/_folder.xml"));
}

TEST_F(FolderEnumeration, EachThreadHasItsOwnListWhichCloseEmpties) {
  test::MakeDirs(mailbox_ + "/Inbox");
  EXPECT_EQ(Names("\\", false, nullptr, false), (NameList{"Inbox"}));
  FolderList* own = ThreadFolderList();
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(ThreadFolderList(), own);
  ASSERT_NE(FindFolderEntry(*own, FolderDirectoryForRecord("alice", "po", "\\")), nullptr);

  FolderList* other = nullptr;
  std::thread([&] {
    other = ThreadFolderList();
    EXPECT_EQ(FindFolderEntry(*other, FolderDirectoryForRecord("alice", "po", "\\")), nullptr);
    ReleaseThreadFolderSearchTable();  // frees the thread's list through the seam
  }).join();
  EXPECT_NE(other, own);

  EXPECT_EQ(CloseSubFolderSearch(nullptr), 1u);
  EXPECT_EQ(ThreadFolderList(), own);
  EXPECT_EQ(FindFolderEntry(*own, FolderDirectoryForRecord("alice", "po", "\\")), nullptr);
  EXPECT_EQ(CloseSubFolderSearch(list_), 1u);
  EXPECT_FALSE(list_->entries);
  EXPECT_EQ(Names("\\"), (NameList{"Inbox"}));  // a closed list fills again
  ReleaseThreadFolderSearchTable();
}

}  // namespace
}  // namespace tw
