#include "frame/store_paths.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/files.h"
#include "support/store_fixture.h"

namespace tw {
namespace {

class StorePathsTest : public ::testing::Test {
 protected:
  test::MailRoot mail_;
  const test::ScratchDir& dir_ = mail_.dir();
  std::string root_ = mail_.root();
};

TEST_F(StorePathsTest, PublicFolderPaths) {
  const std::string po = root_ + "\\PO";
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "Public"), po + "\\PUBROOT");
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "PUBLIC"), po + "\\PUBROOT");
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "Public/Sales"), po + "\\PUBROOT\\Sales");
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "/Public/Sales"), po + "\\PUBROOT\\Sales");
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "Publications"), po + "\\MAILROOT\\bob\\Publications");
  EXPECT_EQ(FolderDirectoryForIndex("PO", "bob", "Public/Sales"), po + "\\PUBROOT\\Sales");
  EXPECT_TRUE(IsPublicPath("\\public\\x"));
  EXPECT_FALSE(IsPublicPath("\\\\Public"));
  EXPECT_FALSE(IsPublicPath("Publications"));
}

TEST_F(StorePathsTest, PublicFoldersDisabledResolveUnderMailroot) {
  mail_.Use(test::DwordValue("Public Folders Enabled", 0));
  EXPECT_FALSE(PublicFoldersEnabled());
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "Public/Sales"), root_ + "\\PO\\MAILROOT\\bob\\Public/Sales");
  EXPECT_EQ(FolderDirectoryForIndex("PO", "bob", "Public/Sales"), root_ + "\\PO\\MAILROOT\\bob\\Public/Sales");
}

TEST_F(StorePathsTest, FileRootKeepsTheCallersSeparatorForRecords) {
  const std::string po = root_ + "\\PO";
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "$FILEROOT"), po + "\\FILEROOT\\bob");
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "$FILEROOT/docs"), po + "\\FILEROOT\\bob/docs");
  EXPECT_EQ(FolderDirectoryForIndex("PO", "bob", "$FILEROOT/docs"), po + "\\FILEROOT\\bob\\docs");
  EXPECT_EQ(FolderDirectoryForIndex("PO", "bob", "$fileroot"), po + "\\FILEROOT\\bob");
}

TEST_F(StorePathsTest, ContactCardTree) {
  const std::string po = root_ + "\\PO";
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "$VCFROOT/team"), po + "\\VCFROOT\\team");
  EXPECT_EQ(FolderDirectoryForIndex("PO", "bob", "$VCFROOT/team"), po + "\\VCFROOT\\team");
  EXPECT_EQ(FolderDirectoryForIndex("PO", "bob", "$VCFROOT"), po + "\\VCFROOT");
}

TEST_F(StorePathsTest, EmptyAndTrailingFolderPaths) {
  const std::string mailbox = root_ + "\\PO\\MAILROOT\\bob";
  EXPECT_EQ(FolderDirectoryForIndex("PO", "bob", ""), mailbox + "\\INBOX");
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", ""), mailbox);
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "\\"), mailbox);
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "Inbox\\"), mailbox + "\\Inbox");
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", "/Inbox/Work/"), mailbox + "/Inbox/Work");
}

TEST_F(StorePathsTest, IndexDirectoriesOfSpecialTreesAreCreatedOneLevelDeep) {
  test::MakeDirs(dir_.path() + "/POSTOFFICES/PO");
  FolderDirectoryForIndex("PO", "bob", "$VCFROOT");
  EXPECT_TRUE(test::PathExists(dir_.path() + "/POSTOFFICES/PO/VCFROOT"));
  // The mailbox's file tree needs FILEROOT first: only the last level is made.
  FolderDirectoryForIndex("PO", "bob", "$FILEROOT");
  EXPECT_FALSE(test::PathExists(dir_.path() + "/POSTOFFICES/PO/FILEROOT/bob"));
  // Ordinary folders are never created by resolving them.
  FolderDirectoryForIndex("PO", "bob", "Inbox");
  EXPECT_FALSE(test::PathExists(dir_.path() + "/POSTOFFICES/PO/MAILROOT"));
}

TEST_F(StorePathsTest, ScanDirectoriesGoThroughThePostofficeRoot) {
  const std::string po = root_ + "\\PO";
  EXPECT_EQ(FolderDirectoryViaPostofficeRoot("PO", "bob", nullptr), po + "\\MAILROOT\\bob");
  const std::string inbox = "Inbox";
  EXPECT_EQ(FolderDirectoryViaPostofficeRoot("PO", "bob", &inbox), po + "\\MAILROOT\\bob\\Inbox");
  const std::string files = "\\$FILEROOT\\docs";
  EXPECT_EQ(FolderDirectoryViaPostofficeRoot("PO", "bob", &files), po + "\\FILEROOT\\bob\\docs");
  const std::string fileRoot = "$FILEROOT";
  EXPECT_EQ(FolderDirectoryViaPostofficeRoot("PO", "bob", &fileRoot), po + "\\FILEROOT\\bob");
  const std::string pub = "/Public/Sales";
  EXPECT_EQ(FolderDirectoryViaPostofficeRoot("PO", "bob", &pub), po + "\\PUBROOT\\Sales");
}

TEST_F(StorePathsTest, FolderTypes) {
  EXPECT_EQ(FolderTypeFromPath("calendar"), kFolderCalendar);
  EXPECT_EQ(FolderTypeFromPath("/Calendar"), kFolderCalendar);
  EXPECT_EQ(FolderTypeFromPath("\\CALENDAR"), kFolderCalendar);
  EXPECT_EQ(FolderTypeFromPath("Calendar\\Old"), kFolderMail);
  EXPECT_EQ(FolderTypeFromPath("Tasks"), kFolderTasks);
  EXPECT_EQ(FolderTypeFromPath("contacts"), kFolderContacts);
  EXPECT_EQ(FolderTypeFromPath("$vcfroot"), kFolderContacts);
  EXPECT_EQ(FolderTypeFromPath("$FILEROOT"), kFolderFileRoot);
  EXPECT_EQ(FolderTypeFromPath("$FILEROOT/docs"), kFolderMail);
  EXPECT_EQ(FolderTypeFromPath(""), kFolderMail);
}

TEST_F(StorePathsTest, SpecialNamesOnlyAtTheTopLevel) {
  EXPECT_EQ(SpecialNameForm("\\", "deleted items"), "Deleted Items");
  EXPECT_EQ(SpecialNameForm("/", "INBOX"), "Inbox");
  EXPECT_EQ(SpecialNameForm("Work", "deleted items"), "deleted items");
  EXPECT_EQ(SpecialNameForm("\\", "Projects"), "Projects");
}

TEST_F(StorePathsTest, ChangeFlagHoldsItsText) {
  test::MakeDirs(dir_.path() + "/POSTOFFICES/PO/MAILROOT/bob/Inbox");
  ASSERT_TRUE(WriteFolderChangeFlag("PO", "bob", "Inbox"));
  EXPECT_EQ(test::ReadFile(dir_.path() + "/POSTOFFICES/PO/MAILROOT/bob/Inbox/_CHANGE.DTY"),
            "This file is a flag file that denotes that this folder has been changed");
  test::MakeDirs(dir_.path() + "/POSTOFFICES/PO/FILEROOT/bob/docs");
  ASSERT_TRUE(WriteFolderChangeFlag("PO", "bob", "$FILEROOT/docs"));
  EXPECT_TRUE(test::PathExists(dir_.path() + "/POSTOFFICES/PO/FILEROOT/bob/docs/_CHANGE.DTY"));
  EXPECT_FALSE(WriteFolderChangeFlag("PO", "bob", "Missing"));
}

TEST_F(StorePathsTest, HostileNamesResolveToNothing) {
  for (const std::string& po : std::vector<std::string>{"..", ".", "", "a\\..\\b", "x/y", "C:", std::string("p\0o", 3)}) {
    EXPECT_EQ(PostofficeRoot(po), "") << po;
    EXPECT_EQ(FolderDirectoryForIndex(po, "bob", "Inbox"), "") << po;
    EXPECT_EQ(FolderDirectoryForRecord("bob", po, "Inbox"), "") << po;
  }
  for (const std::string& mailbox : std::vector<std::string>{"..", "", "../alice", "bob\\..", "bob/Inbox"}) {
    EXPECT_EQ(FolderDirectoryForIndex("PO", mailbox, "Inbox"), "") << mailbox;
    EXPECT_EQ(FolderDirectoryForRecord(mailbox, "PO", "Inbox"), "") << mailbox;
    EXPECT_EQ(FolderDirectoryViaPostofficeRoot("PO", mailbox, nullptr), "") << mailbox;
  }
  for (const std::string& folder : std::vector<std::string>{"..", "../../etc", "Inbox\\..\\..\\alice", "$FILEROOT/../x", "$VCFROOT/..",
                                   "Public/../../x", "C:\\Windows", std::string("In\0box", 6)}) {
    EXPECT_EQ(FolderDirectoryForIndex("PO", "bob", folder), "") << folder;
    EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", folder), "") << folder;
    EXPECT_EQ(FolderDirectoryViaPostofficeRoot("PO", "bob", &folder), "") << folder;
    EXPECT_FALSE(WriteFolderChangeFlag("PO", "bob", folder)) << folder;
  }
  // Dots inside names are fine.
  EXPECT_NE(FolderDirectoryForIndex("PO", "bob.smith", "Inbox..old"), "");
}

TEST_F(StorePathsTest, OverlongResultsAreRefusedNotCut) {
  const std::string longFolder(1100, 'f');
  EXPECT_EQ(FolderDirectoryForIndex("PO", "bob", longFolder), "");
  EXPECT_EQ(FolderDirectoryForRecord("bob", "PO", longFolder), "");
  const std::string scanFolder(1500, 'f');
  EXPECT_NE(FolderDirectoryViaPostofficeRoot("PO", "bob", &scanFolder), "");
}

TEST_F(StorePathsTest, CaseInsensitiveLookupReachesExistingFolders) {
  test::MakeDirs(dir_.path() + "/POSTOFFICES/PO/MAILROOT/bob/Inbox");
  const std::string dir = FolderDirectoryForIndex("PO", "bob", "INBOX");
  EXPECT_EQ(platform::ToSystemPath(dir), dir_.path() + "/POSTOFFICES/PO/MAILROOT/bob/Inbox");
}

}  // namespace
}  // namespace tw
