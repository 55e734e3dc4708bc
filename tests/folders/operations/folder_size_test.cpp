// One folder's size as its index records it, and the rescan of a folder
// marked out of date before it is sized.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "folders/operations/folder_size.h"
#include "support/store_fixture.h"

namespace tw {
namespace {

using test::WriteFile;

FolderRecord Record(const char* path, const char* name) {
  FolderRecord record;
  std::memset(&record, 0, sizeof record);
  std::strcpy(record.mailbox, "bob");
  std::strcpy(record.postoffice, "PO");
  std::strcpy(record.path, path);
  std::strcpy(record.name, name);
  return record;
}

class FolderSizes : public ::testing::Test {
 protected:
  void SetUp() override { test::MakeDirs(work_); }
  void TearDown() override { ResetIndexInjectionSizeLimit(); }
  void WriteIndex(const std::string& elements) {
    WriteFile(work_ + "/_index.xml", "<BASEELEMENT LASTUID=\"9\">" + elements + "</BASEELEMENT>");
  }

  test::MailRoot mail_{"", "/POSTOFFICES"};
  std::string work_ = mail_.root() + "/PO/MAILROOT/bob/Work";
};

TEST_F(FolderSizes, AddsTheLiveElementsInBytesOrKilobytes) {
  WriteIndex("<ELEMENT ID=\"a.mai\" UID=\"1\" SIZE=\"1500\"/><ELEMENT ID=\"b.mai\" UID=\"2\" SIZE=\"600\"/>"
             "<ELEMENT ID=\"-----\" UID=\"3\" SIZE=\"99999\"/><ELEMENT ID=\"c.mai\" UID=\"4\" SIZE=\"\"/>");
  EXPECT_EQ(FolderSize(Record("\\Work", ""), false), 2100u) << "dead and empty elements add nothing";
  EXPECT_EQ(FolderSize(Record("\\Work", ""), true), 2u) << "kilobytes, rounded down";
  EXPECT_EQ(FolderSize(Record("\\", ""), false), 0u) << "the mailbox root itself";
  EXPECT_EQ(FolderSize(Record("/", "Work"), false), 0u) << "a walk names folders by their path";
  EXPECT_EQ(FolderSize(Record("\\Missing", ""), false), 0u);
  EXPECT_EQ(FolderSize(Record("\\..\\..\\bob\\Work", ""), false), 0u) << "a record leading elsewhere";

  WriteIndex("<ELEMENT ID=\"a.mai\" UID=\"1\" SIZE=\"4294967000\"/><ELEMENT ID=\"b.mai\" UID=\"2\" SIZE=\"4000\"/>");
  EXPECT_EQ(FolderSize(Record("\\Work", ""), false), 4294967295u) << "saturates";
  EXPECT_EQ(FolderSize(Record("\\Work", ""), true), 4194307u);
}

TEST_F(FolderSizes, AnIndexThatDoesNotLoadCountsNothingAndSaysWhy) {
  WriteFile(work_ + "/_index.xml", "<BASEELEMENT><ELEMENT ID=\"a\" SIZE=\"5\"");
  testing::internal::CaptureStdout();
  EXPECT_EQ(FolderSize(Record("\\Work", ""), false), 0u);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Error:\n"), std::string::npos) << printed;
}

TEST_F(FolderSizes, AFolderMarkedOutOfDateIsRescannedFirst) {
  WriteIndex("");
  test::PutMessage(mail_.root() + "/PO/MAILROOT/bob/Work", "new.mai", "From: a@b\r\nSubject: s");
  EXPECT_EQ(FolderSize(Record("\\Work", ""), false), 0u) << "not marked: the index as it is";
  WriteFile(work_ + "/_CHANGE.DTY", "x");
  const uint32_t size = FolderSize(Record("\\Work", ""), false);
  EXPECT_EQ(size, test::ReadFile(work_ + "/new.mai").size()) << "the new message is indexed and counted" << test::ReadFile(work_ + "/_index.xml");
  EXPECT_FALSE(test::PathExists(work_ + "/_CHANGE.DTY"));
}

}  // namespace
}  // namespace tw
