// The folder dates and the delivered count, on disk, and records that would
// lead outside the place they name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "folders/operations/folder_dates.h"
#include "platform/files.h"
#include "support/store_fixture.h"

namespace tw {
namespace {

using test::PathExists;
using test::WriteFile;

FolderRecord Record(const char* mailbox, const char* path, const char* name) {
  FolderRecord record;
  std::memset(&record, 0, sizeof record);
  std::strcpy(record.mailbox, mailbox);
  std::strcpy(record.postoffice, "PO");
  std::strcpy(record.path, path);
  std::strcpy(record.name, name);
  return record;
}

class FolderDates : public ::testing::Test {
 protected:
  std::string Mailbox(const std::string& name) const { return mail_.root() + "/PO/MAILROOT/" + name; }
  test::MailRoot mail_{"", "/POSTOFFICES"};
};

TEST_F(FolderDates, ContentsDateIsTheIndexOnlyWithoutPendingChanges) {
  const std::string work = Mailbox("bob") + "/Work";
  test::MakeDirs(work);
  const FolderRecord record = Record("bob", "\\", "Work");
  EXPECT_EQ(ContentsModificationDate(record), 0u) << "no index";
  WriteFile(work + "/_index.xml", "<x/>");
  platform::FileInfo info;
  ASSERT_TRUE(platform::GetFileInfo(work + "/_index.xml", info));
  EXPECT_EQ(ContentsModificationDate(record), platform::FileTimeToDosDateTime(info.lastWriteTime));
  EXPECT_NE(ContentsModificationDate(record), 0u);
  WriteFile(work + "/_CHANGE.DTY", "x");
  EXPECT_EQ(ContentsModificationDate(record), 0u) << "pending changes";

  EXPECT_EQ(HierarchyModificationDate(record), 0u);
  WriteFile(work + "/_folder.xml", "<folderindex></folderindex>");
  EXPECT_NE(HierarchyModificationDate(record), 0u);
}

TEST_F(FolderDates, DeliveredCountTakesTheHighestAndConsumesEveryCounter) {
  const std::string bob = Mailbox("bob");
  test::MakeDirs(bob);
  for (const char* name : {"_3.NEW", "_7.NEW", "_5.NEW", "_007.NEW", "_x.NEW"}) WriteFile(bob + "/" + name, "");
  EXPECT_EQ(DeliveredMessageCount(Record("bob", "", "")), 7u);
  for (const char* name : {"_3.NEW", "_7.NEW", "_5.NEW", "_007.NEW", "_x.NEW"})
    EXPECT_FALSE(PathExists(bob + "/" + name)) << name;
  EXPECT_EQ(DeliveredMessageCount(Record("bob", "", "")), 0u) << "nothing left";
}

TEST_F(FolderDates, RecordsLeadingElsewhereAreRefused) {
  test::MakeDirs(Mailbox("bob"));
  WriteFile(mail_.root() + "/PO/MAILROOT/_9.NEW", "");
  WriteFile(Mailbox("bob") + "/_index.xml", "<x/>");
  EXPECT_EQ(DeliveredMessageCount(Record("..", "", "")), 0u);
  EXPECT_EQ(DeliveredMessageCount(Record("bob/..", "", "")), 0u);
  EXPECT_TRUE(PathExists(mail_.root() + "/PO/MAILROOT/_9.NEW")) << "nothing outside the mailbox is consumed";
  EXPECT_EQ(ContentsModificationDate(Record("alice", "\\..\\bob", "")), 0u);
  EXPECT_EQ(ContentsModificationDate(Record("alice", "\\", "..\\bob")), 0u);
}

}  // namespace
}  // namespace tw
