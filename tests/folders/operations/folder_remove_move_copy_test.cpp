// Removing, moving and copying folder trees, checked on disk: what went,
// what came, which parents were marked, which caches and shares were
// dropped, and what was refused without a file changing.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "folders/operations/folder_move_copy.h"
#include "folders/operations/folder_remove.h"
#include "support/folder_records.h"
#include "support/holder_process.h"
#include "support/store_fixture.h"
#include "support/test_support.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::MakeFolderRecord;
using test::PathExists;
using test::WriteFile;

class FolderTreeChanges : public ::testing::Test {
 protected:
  void SetUp() override {
    test::MakeDirs(Box("bob") + "/Inbox/Projects/Sub");
    WriteFile(Box("bob") + "/Inbox/Projects/a.mai", "A");
    WriteFile(Box("bob") + "/Inbox/Projects/Sub/b.mai", "B");
    WriteFile(Box("bob") + "/Inbox/Projects/_index.xml", "<BASEELEMENT/>");
    test::MakeDirs(Box("bob") + "/Archive");
    test::MakeDirs(Box("eve"));
    WriteFile(Box("bob") + "/_DIRSIZE.TMP", "40");
    WriteFile(Box("eve") + "/_DIRSIZE.TMP", "7");
    test::MakeDirs(outside_);
    WriteFile(outside_ + "/keep.txt", "outside");
  }

  std::string Box(const std::string& mailbox) const { return test::SystemPath(mail_.root()) + "/PO/MAILROOT/" + mailbox; }

  // Every file below `top` with its content, for "nothing changed".
  static std::vector<std::string> Files(const std::string& top) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      const std::string path = entry.path().string();
      files.push_back(path + (entry.is_symlink() ? "@" : entry.is_regular_file() ? "=" + test::ReadFile(path) : "/"));
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  std::vector<std::string> Everything() const {
    std::vector<std::string> all = Files(mail_.dir().path());
    for (const std::string& f : Files(outside_)) all.push_back(f);
    return all;
  }

  std::vector<std::string> Shares(const std::string& mailbox) const {
    pugi::xml_document shares;
    EXPECT_TRUE(shares.load_file((Box(mailbox) + "/_Shares.xml").c_str()));
    std::vector<std::string> left;
    for (const pugi::xpath_node& node : shares.select_nodes("//SHARES/SHARE/RESOURCE"))
      left.push_back(node.node().text().get());
    return left;
  }

  test::MailRoot mail_{"", "/POSTOFFICES"};
  test::ScratchDir elsewhere_;
  std::string outside_ = elsewhere_.path() + "/outside";
};

TEST_F(FolderTreeChanges, RemoveTakesTheTreeItsSharesMarksTheParentAndDropsTheSizeCache) {
  WriteFile(Box("bob") + "/_Shares.xml",
            "<SHARES><SHARE><RESOURCE>SF:PO/bob/Inbox/Projects</RESOURCE></SHARE>"
            "<SHARE><RESOURCE>SF:PO/bob/Inbox/Projects/Sub</RESOURCE></SHARE>"
            "<SHARE><RESOURCE>SF:PO/bob/Inbox/ProjectsOld</RESOURCE></SHARE></SHARES>");
  FolderRecord record = MakeFolderRecord("bob", "\\Inbox", "projects");
  EXPECT_EQ(RemoveFolder(record), 1u);
  EXPECT_EQ(Shares("bob"), std::vector<std::string>{"SF:PO/bob/Inbox/ProjectsOld"});
  EXPECT_FALSE(PathExists(Box("bob") + "/Inbox/Projects"));
  EXPECT_TRUE(PathExists(Box("bob") + "/Inbox/_folder.dty"));
  EXPECT_FALSE(PathExists(Box("bob") + "/_DIRSIZE.TMP"));
  EXPECT_TRUE(PathExists(Box("eve") + "/_DIRSIZE.TMP")) << "another mailbox's cache stays";
  EXPECT_TRUE(PathExists(Box("bob") + "/Archive"));

  record = MakeFolderRecord("bob", "\\Inbox", "Projects");
  EXPECT_EQ(RemoveFolder(record), 0u) << "nothing there any more";
  record = MakeFolderRecord("bob", "/Inbox", "");
  EXPECT_EQ(RemoveFolder(record), 1u) << "a path naming a folder, with an empty name, removes that folder";
  EXPECT_FALSE(PathExists(Box("bob") + "/Inbox"));
  EXPECT_TRUE(PathExists(Box("bob") + "/_folder.dty"));
}

TEST_F(FolderTreeChanges, RemoveRefusesRootsPublicAndEmptyNamesAndTouchesNothing) {
  const std::vector<std::string> before = Everything();
  const FolderRecord refused[] = {
      MakeFolderRecord("bob", "\\", ""),            MakeFolderRecord("bob", "/", ""),
      MakeFolderRecord("bob", "", ""),              MakeFolderRecord("bob", "\\.", ""),
      MakeFolderRecord("bob", "\\Inbox\\.", ""),    MakeFolderRecord("", "\\", "Inbox"),
      MakeFolderRecord("bob", "\\", "Inbox", ""),   MakeFolderRecord("bob", "public", "Inbox"),
      MakeFolderRecord("bob", "\\PUBLIC", "x"),     MakeFolderRecord("bob", "$FILEROOT", ""),
      MakeFolderRecord("bob", "$VCFROOT", ""),      MakeFolderRecord("..", "\\", "eve"),
      MakeFolderRecord("bob", "\\..", "eve"),       MakeFolderRecord("bob", "\\", ".."),
      MakeFolderRecord("bob", "\\", "Inbox/.."),    MakeFolderRecord("bob", "\\Inbox", "Projects\\..\\.."),
  };
  for (const FolderRecord& record : refused) {
    EXPECT_EQ(RemoveFolder(record), 0u) << record.mailbox << "|" << record.path << "|" << record.name << "|"
                                        << record.postoffice;
  }
  EXPECT_EQ(Everything(), before);
}

TEST_F(FolderTreeChanges, ATreeALiveProcessWorksInIsNeitherRemovedNorMoved) {
  const std::string block = Box("bob") + "/Inbox/Projects/Sub/_index.blk";
  for (const char* mode : {"index-held", "index-marker"}) {
    test::HolderProcess holder(mode, block);
    ASSERT_EQ(holder.Line(), "ok") << mode;
    const std::vector<std::string> before = Everything();
    FolderRecord record = MakeFolderRecord("bob", "\\", "Inbox");
    EXPECT_EQ(RemoveFolder(record), 0u) << mode;
    FolderRecord from = MakeFolderRecord("bob", "\\Inbox", "Projects"), to = MakeFolderRecord("bob", "\\", "Moved");
    EXPECT_EQ(MoveFolder(from, to), 0u) << mode;
    EXPECT_EQ(Everything(), before) << mode;

    from = MakeFolderRecord("bob", "\\Inbox", "Projects"), to = MakeFolderRecord("bob", "\\", "Copied");
    EXPECT_EQ(CopyFolder(from, to), 1u) << "a copy leaves the block behind";
    EXPECT_FALSE(PathExists(Box("bob") + "/Copied/Sub/_index.blk"));
    EXPECT_TRUE(PathExists(Box("bob") + "/Copied/Sub/b.mai"));
    FolderRecord copied = MakeFolderRecord("bob", "\\", "Copied");
    ASSERT_EQ(RemoveFolder(copied), 1u);
    holder.Kill();
  }
  // The marker's owner died with the kill: its block holds nothing up.
  ASSERT_TRUE(PathExists(block));
  FolderRecord record = MakeFolderRecord("bob", "\\", "Inbox");
  EXPECT_EQ(RemoveFolder(record), 1u);
  EXPECT_FALSE(PathExists(Box("bob") + "/Inbox"));
}

TEST_F(FolderTreeChanges, LinksAreRemovedAsLinksAndNeverWalkedThrough) {
  fs::create_directory_symlink(outside_, Box("bob") + "/Linked");
  fs::create_directory_symlink(outside_, Box("bob") + "/Inbox/Projects/Inner");
  const std::vector<std::string> outsideBefore = Files(outside_);

  FolderRecord through = MakeFolderRecord("bob", "\\Linked", "");
  FolderRecord below = MakeFolderRecord("bob", "\\Linked", "sub");
  FolderRecord target = MakeFolderRecord("bob", "\\", "Target");
  FolderRecord fromBelow = MakeFolderRecord("bob", "\\Linked", "keep.txt");
  EXPECT_EQ(MoveFolder(fromBelow, target), 0u) << "a move out through a link";
  EXPECT_EQ(CopyFolder(through, target), 0u) << "a copy of a link";
  FolderRecord into = MakeFolderRecord("bob", "\\Linked", "New");
  FolderRecord archive = MakeFolderRecord("bob", "\\", "Archive");
  EXPECT_EQ(MoveFolder(archive, into), 0u) << "a move into a link";
  EXPECT_EQ(RemoveFolder(below), 0u);

  FolderRecord copyFrom = MakeFolderRecord("bob", "\\Inbox", "Projects"), copyTo = MakeFolderRecord("bob", "\\", "P2");
  EXPECT_EQ(CopyFolder(copyFrom, copyTo), 1u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Box("bob") + "/P2/Inner"))) << "links are not copied";

  FolderRecord projects = MakeFolderRecord("bob", "\\Inbox", "Projects");
  EXPECT_EQ(RemoveFolder(projects), 1u) << "the link inside goes as a link";
  EXPECT_EQ(RemoveFolder(through), 1u) << "a folder that is a link: the link alone goes";
  EXPECT_FALSE(fs::exists(fs::symlink_status(Box("bob") + "/Linked")));
  EXPECT_EQ(Files(outside_), outsideBefore);
}

TEST_F(FolderTreeChanges, MoveRenamesAndMarksBothParentsAndNeverMerges) {
  FolderRecord from = MakeFolderRecord("bob", "\\Inbox", "Projects"), to = MakeFolderRecord("bob", "\\Archive", "2026");
  EXPECT_EQ(MoveFolder(from, to), 1u);
  EXPECT_EQ(test::ReadFile(Box("bob") + "/Archive/2026/Sub/b.mai"), "B");
  EXPECT_FALSE(PathExists(Box("bob") + "/Inbox/Projects"));
  EXPECT_TRUE(PathExists(Box("bob") + "/Inbox/_folder.dty"));
  EXPECT_TRUE(PathExists(Box("bob") + "/Archive/_folder.dty"));
  EXPECT_FALSE(PathExists(Box("bob") + "/_DIRSIZE.TMP"));

  test::MakeDirs(Box("bob") + "/Work");
  WriteFile(Box("bob") + "/Work/w.mai", "W");
  const std::vector<std::string> before = Everything();
  from = MakeFolderRecord("bob", "\\Archive", "2026"), to = MakeFolderRecord("bob", "\\", "WORK");
  EXPECT_EQ(MoveFolder(from, to), 0u) << "onto a folder that exists in another letter case";
  from = MakeFolderRecord("bob", "\\", "Archive"), to = MakeFolderRecord("bob", "\\Archive\\2026", "Loop");
  EXPECT_EQ(MoveFolder(from, to), 0u) << "into itself";
  from = MakeFolderRecord("bob", "\\", "Work"), to = MakeFolderRecord("bob", "\\", "Work");
  EXPECT_EQ(MoveFolder(from, to), 0u) << "onto itself";
  from = MakeFolderRecord("bob", "\\", "Work"), to = MakeFolderRecord("bob", "\\", "");
  EXPECT_EQ(MoveFolder(from, to), 0u) << "onto the mailbox root";
  from = MakeFolderRecord("bob", "\\", ""), to = MakeFolderRecord("eve", "\\", "bob");
  EXPECT_EQ(MoveFolder(from, to), 0u) << "the whole mailbox";
  from = MakeFolderRecord("bob", "\\", "Work"), to = MakeFolderRecord("bob", "Public", "Work");
  EXPECT_EQ(MoveFolder(from, to), 0u) << "into the public root";
  EXPECT_EQ(Everything(), before);

  from = MakeFolderRecord("bob", "\\", "Work"), to = MakeFolderRecord("bob", "\\", "work");
  EXPECT_EQ(MoveFolder(from, to), 1u) << "a new letter case of the same name";
  EXPECT_EQ(test::ReadFile(Box("bob") + "/work/w.mai"), "W");
  from = MakeFolderRecord("bob", "\\", "deleted items"), to = MakeFolderRecord("bob", "\\", "x");
  test::MakeDirs(Box("bob") + "/Deleted Items");
  EXPECT_EQ(MoveFolder(from, to), 1u) << "top-level names take their standard spelling";
}

TEST_F(FolderTreeChanges, AMoveBetweenMailboxesDropsBothSizeCachesAndTheMovedShares) {
  WriteFile(Box("bob") + "/_Shares.xml",
            "<SHARES><SHARE><RESOURCE>SF:PO/bob/Inbox/Projects</RESOURCE></SHARE>"
            "<SHARE><RESOURCE>SF:PO/bob/Inbox/Projects/Sub</RESOURCE></SHARE>"
            "<SHARE><RESOURCE>SF:PO/bob/Archive</RESOURCE></SHARE></SHARES>");
  WriteFile(Box("bob") + "/Inbox/Projects/_Access.XML", "<LIST><ITEM><USER>ann</USER></ITEM></LIST>");
  FolderRecord from = MakeFolderRecord("bob", "\\Inbox", "Projects"), to = MakeFolderRecord("eve", "\\", "FromBob");
  EXPECT_EQ(MoveFolder(from, to), 1u);
  EXPECT_EQ(test::ReadFile(Box("eve") + "/FromBob/a.mai"), "A");
  EXPECT_FALSE(PathExists(Box("eve") + "/FromBob/_Access.XML")) << "nobody granted the moved folder to ann";
  EXPECT_FALSE(PathExists(Box("bob") + "/_DIRSIZE.TMP"));
  EXPECT_FALSE(PathExists(Box("eve") + "/_DIRSIZE.TMP"));
  EXPECT_EQ(Shares("bob"), std::vector<std::string>{"SF:PO/bob/Archive"});
}

TEST_F(FolderTreeChanges, CopyDuplicatesTheTreeButNotItsBlocksOrAccessList) {
  WriteFile(Box("bob") + "/Inbox/Projects/_Access.XML", "<LIST/>");
  WriteFile(Box("bob") + "/Inbox/Projects/_index.blk", "");
  FolderRecord from = MakeFolderRecord("bob", "\\Inbox", "Projects"), to = MakeFolderRecord("eve", "\\", "Copy");
  EXPECT_EQ(CopyFolder(from, to), 1u);
  EXPECT_EQ(test::ReadFile(Box("eve") + "/Copy/Sub/b.mai"), "B");
  EXPECT_EQ(test::ReadFile(Box("eve") + "/Copy/_index.xml"), "<BASEELEMENT/>");
  EXPECT_FALSE(PathExists(Box("eve") + "/Copy/_Access.XML"));
  EXPECT_FALSE(PathExists(Box("eve") + "/Copy/_index.blk"));
  EXPECT_TRUE(PathExists(Box("eve") + "/_folder.dty"));
  EXPECT_FALSE(PathExists(Box("eve") + "/_DIRSIZE.TMP"));
  EXPECT_TRUE(PathExists(Box("bob") + "/_DIRSIZE.TMP")) << "the source mailbox did not change";
  EXPECT_EQ(test::ReadFile(Box("bob") + "/Inbox/Projects/a.mai"), "A");

  const std::vector<std::string> before = Everything();
  from = MakeFolderRecord("bob", "\\Inbox", "Projects"), to = MakeFolderRecord("eve", "\\", "COPY");
  EXPECT_EQ(CopyFolder(from, to), 0u) << "onto a folder that exists in another letter case";
  from = MakeFolderRecord("bob", "\\", "Inbox"), to = MakeFolderRecord("bob", "\\Inbox\\Projects", "Again");
  EXPECT_EQ(CopyFolder(from, to), 0u) << "into itself";
  from = MakeFolderRecord("bob", "\\", ""), to = MakeFolderRecord("eve", "\\", "AllOfBob");
  EXPECT_EQ(CopyFolder(from, to), 0u) << "a mailbox root";
  from = MakeFolderRecord("bob", "\\", "Missing"), to = MakeFolderRecord("eve", "\\", "Missing");
  EXPECT_EQ(CopyFolder(from, to), 0u);
  EXPECT_EQ(Everything(), before);
}

}  // namespace
}  // namespace tw
