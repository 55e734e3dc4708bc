// Making folders and sizing a tree, on disk.
#include <gtest/gtest.h>

#include <string>

#include "folders/operations/folder_add.h"
#include "folders/operations/folder_walk.h"
#include "support/folder_records.h"
#include "support/store_fixture.h"
#include "support/test_support.h"

namespace tw {
namespace {

using test::MakeFolderRecord;
using test::PathExists;
using test::WriteFile;

class FolderAddAndWalk : public ::testing::Test {
 protected:
  void SetUp() override { test::MakeDirs(bob_); }
  void Index(const std::string& folder, const std::string& sizes) {
    std::string elements;
    int uid = 0;
    for (size_t at = 0; at < sizes.size();) {
      const size_t end = sizes.find(',', at) == std::string::npos ? sizes.size() : sizes.find(',', at);
      ++uid;
      elements += "<ELEMENT ID=\"m" + std::to_string(uid) + ".mai\" UID=\"" + std::to_string(uid) + "\" SIZE=\"" +
                  sizes.substr(at, end - at) + "\"/>";
      at = end + 1;
    }
    test::MakeDirs(bob_ + "/" + folder);
    WriteFile(bob_ + "/" + folder + "/_index.xml", "<BASEELEMENT LASTUID=\"9\">" + elements + "</BASEELEMENT>");
  }

  test::MailRoot mail_{"", "/POSTOFFICES"};
  std::string bob_ = mail_.root() + "/PO/MAILROOT/bob";
};

TEST_F(FolderAddAndWalk, AddMakesOneFolderAndMarksAParentThatDoesNotListIt) {
  FolderRecord record = MakeFolderRecord("bob", "\\", "deleted items");
  EXPECT_NE(AddFolder(record), 0u);
  EXPECT_TRUE(PathExists(bob_ + "/Deleted Items")) << "the standard spelling at the top level";
  EXPECT_TRUE(PathExists(bob_ + "/_folder.dty"));

  std::remove((bob_ + "/_folder.dty").c_str());
  WriteFile(bob_ + "/_folder.xml", "<folderindex><folder><name><![CDATA[work]]></name></folder></folderindex>");
  record = MakeFolderRecord("bob", "\\", "Work");
  EXPECT_NE(AddFolder(record), 0u);
  EXPECT_FALSE(PathExists(bob_ + "/_folder.dty")) << "the index lists it already (any case)";
  record = MakeFolderRecord("bob", "/", "WORK");
  EXPECT_EQ(AddFolder(record), 0u) << "a folder of that name exists in another case";

  record = MakeFolderRecord("bob", "\\", "Public");
  EXPECT_EQ(AddFolder(record), 0u) << "public folders are enabled by default";
  mail_.Use(test::DwordValue("Public Folders Enabled", 0));
  record = MakeFolderRecord("bob", "\\", "Public");
  EXPECT_NE(AddFolder(record), 0u);

  for (const char* name : {"..", "a\\b", "a/b"}) {
    record = MakeFolderRecord("bob", "\\", name);
    EXPECT_EQ(AddFolder(record), 0u) << name;
  }
  record = MakeFolderRecord("bob", "\\Missing", "Sub");
  EXPECT_EQ(AddFolder(record), 0u) << "the parent must exist";
  EXPECT_FALSE(PathExists(bob_ + "/Missing"));
}

TEST_F(FolderAddAndWalk, TheTreeSizeAddsEveryFolderInItsUnit) {
  Index("Inbox", "1500,700");
  Index("Inbox/Work", "3000");
  Index("Sent", "100");
  FolderRecord record = MakeFolderRecord("bob", "\\", "");
  EXPECT_EQ(SizeFolderTree(record, false), 1u);
  EXPECT_EQ(record.total, 5300u);
  EXPECT_EQ(SizeFolderTree(record, true), 1u);
  EXPECT_EQ(record.total, 2u + 2u + 0u) << "each folder's kilobytes, rounded down";

  Index("Big", "4294967000,4294967000");
  WriteFile(bob_ + "/_folder.dty", "DIRTY");  // made behind the folder index's back
  EXPECT_EQ(SizeFolderTree(record, false), 1u);
  EXPECT_EQ(record.total, 4294967295u) << "saturates";
  record = MakeFolderRecord("..", "\\", "");
  EXPECT_EQ(SizeFolderTree(record, false), 1u);
  EXPECT_EQ(record.total, 0u);
}

}  // namespace
}  // namespace tw
