// The folder index as it lands on disk: its exact bytes, the special names
// at the top of a mailbox, the renaming of names the store cannot use, and
// the out-of-date flag.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "folders/tree/folder_index_file.h"
#include "folders/tree/folder_index_flag.h"
#include "folders/tree/folder_index_rebuild.h"
#include "platform/write_cut.h"
#include "support/test_support.h"

namespace tw {
namespace {

using test::PathExists;
using test::ReadFile;

class FolderIndexRebuild : public ::testing::Test {
 protected:
  std::string Folder(const std::string& name) {
    const std::string path = dir_ / name;
    test::MakeDirs(path);
    return path;
  }
  std::string IndexText() { return ReadFile(dir_ / "_folder.xml"); }
  size_t EntryCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) ++count;
    return count;
  }
  bool Has(const std::string& text) { return IndexText().find(text) != std::string::npos; }
  std::string Listed(const std::string& name) { return "<folder><name><![CDATA[" + name + "]]></name></folder>"; }

  test::ScratchDir dir_;
};

TEST_F(FolderIndexRebuild, WritesOneLineOfTheListedSubDirectoriesAndClearsTheFlag) {
  Folder("Inbox");
  test::WriteFile(dir_ / "not-a-folder.MAI", "x");
  ASSERT_EQ(::symlink((dir_ / "Inbox").c_str(), (dir_ / "Link").c_str()), 0);
  ASSERT_TRUE(MarkFolderIndexOutOfDate(dir_.path()));
  EXPECT_EQ(ReadFile(dir_ / "_folder.dty"), "DIRTY");
  EXPECT_TRUE(FolderIndexNeedsRebuild(dir_.path()));

  ASSERT_EQ(RebuildFolderIndex(dir_.path(), false), 1u);
  // Files and links are no sub-folders; nothing else is left behind.
  EXPECT_EQ(IndexText(), "<folderindex>" + Listed("Inbox") + "</folderindex>");
  EXPECT_FALSE(PathExists(dir_ / "_folder.dty"));
  EXPECT_FALSE(FolderIndexNeedsRebuild(dir_.path()));
  EXPECT_EQ(EntryCount(), 4u);  // Inbox, Link, the file, _folder.xml

  ASSERT_TRUE(MarkFolderIndexOutOfDate(dir_.path()));
  EXPECT_TRUE(FolderIndexNeedsRebuild(dir_.path()));
}

TEST_F(FolderIndexRebuild, TextOfTwoFoldersAndANameThatWouldBreakTheFile) {
  EXPECT_EQ(FolderIndexText({"Inbox", "Work"}),
            "<folderindex><folder><name><![CDATA[Inbox]]></name></folder><folder><name><![CDATA[Work]]>"
            "</name></folder></folderindex>");
  EXPECT_EQ(FolderIndexText({"a]]>b", "<&>"}), "<folderindex>" + Listed("<&>") + "</folderindex>");
  EXPECT_EQ(FolderIndexText({}), "<folderindex></folderindex>");
}

TEST_F(FolderIndexRebuild, SpecialNamesTakeTheirStandardSpellingOnlyAtTheTopLevel) {
  Folder("SENT ITEMS");
  Folder("deleted items");
  Folder("Projects");
  ASSERT_EQ(RebuildFolderIndex(dir_.path(), true), 1u);
  EXPECT_TRUE(Has(Listed("Sent Items")));
  EXPECT_TRUE(Has(Listed("Deleted Items")));
  EXPECT_TRUE(Has(Listed("Projects")));
  // The directories themselves keep their names.
  EXPECT_TRUE(PathExists(dir_ / "SENT ITEMS"));

  ASSERT_EQ(RebuildFolderIndex(dir_.path(), false), 1u);
  EXPECT_TRUE(Has(Listed("SENT ITEMS")));
}

TEST_F(FolderIndexRebuild, UnusableNamesAreRenamedOnDiskOrListedAsErrors) {
  Folder("tab\there");
  Folder("caf\xC3\xA9");  // UTF-8: each byte of 0x80 and above, as any other
  Folder("a:b");
  test::WriteFile(dir_ / "caf\xC3\xA9/1.MAI", "kept");
  // Both clean to "x_y": the second cannot take the name.
  Folder("x\x01y");
  Folder("x_y");
  Folder("with]]>end");

  ASSERT_EQ(RebuildFolderIndex(dir_.path(), false), 1u);
  EXPECT_TRUE(Has(Listed("tab_here")));
  EXPECT_TRUE(Has(Listed("caf__")));
  EXPECT_TRUE(Has(Listed("a_b")));
  EXPECT_TRUE(Has(Listed("x_y")));
  EXPECT_TRUE(Has(Listed("x_y (Error)")));
  EXPECT_TRUE(Has(Listed("with]]_end")));  // so no directory ever holds "]]>"
  EXPECT_EQ(ReadFile(dir_ / "caf__/1.MAI"), "kept");
  EXPECT_TRUE(PathExists(dir_ / "tab_here"));
  EXPECT_FALSE(PathExists(dir_ / "caf\xC3\xA9"));
  EXPECT_TRUE(PathExists(dir_ / "x\x01y"));  // the one that could not be renamed
  EXPECT_EQ(CleanFolderName("\x7F\x80\xFF\"*:<>?|\\ok"), "\x7F__________ok");
}

TEST_F(FolderIndexRebuild, AFailedWriteLeavesTheOldFileWholeAndTheFlagSet) {
  Folder("Inbox");
  ASSERT_EQ(RebuildFolderIndex(dir_.path(), false), 1u);
  const std::string before = IndexText();
  Folder("Work");
  ASSERT_TRUE(MarkFolderIndexOutOfDate(dir_.path()));

  platform::ArmWriteCut(5, platform::WriteCutAction::Fail);  // the disk fills during the write
  const uint32_t result = RebuildFolderIndex(dir_.path(), false);
  platform::DisarmWriteCut();
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(IndexText(), before);
  EXPECT_TRUE(PathExists(dir_ / "_folder.dty"));
  EXPECT_EQ(EntryCount(), 4u);  // Inbox, Work and the two files: no temporary left

  EXPECT_EQ(RebuildFolderIndex(dir_.path() + "/missing", false), 0u);
  EXPECT_FALSE(PathExists(dir_ / "missing"));
}

TEST_F(FolderIndexRebuild, ReadersNeverSeeHalfAFileWhileOthersRebuild) {
  for (int i = 0; i < 40; ++i) Folder("Folder number " + std::to_string(i));
  ASSERT_EQ(RebuildFolderIndex(dir_.path(), false), 1u);
  std::atomic<bool> done{false};
  std::vector<std::thread> writers;
  for (int w = 0; w < 2; ++w) {
    writers.emplace_back([&] {
      for (int round = 0; round < 50; ++round) EXPECT_EQ(RebuildFolderIndex(dir_.path(), false), 1u);
    });
  }
  std::thread reader([&] {
    while (!done) {
      FolderIndexContent content;
      ASSERT_EQ(ReadFolderIndex(dir_.path(), content), FolderIndexRead::Read);
      ASSERT_EQ(content.names.size(), 40u);
    }
  });
  for (std::thread& writer : writers) writer.join();
  done = true;
  reader.join();
  EXPECT_EQ(EntryCount(), 41u);  // the folders and _folder.xml: no temporary left
}

TEST_F(FolderIndexRebuild, ListedNamesCompareWithoutCaseInTheirFirst259Characters) {
  const std::string longName(300, 'L');
  test::WriteFile(dir_ / "_folder.xml", FolderIndexText({"Work", longName}));
  EXPECT_TRUE(FolderIndexListsName(dir_.path(), "WORK"));
  EXPECT_TRUE(FolderIndexListsName(dir_.path(), std::string(259, 'l') + "different tail"));
  EXPECT_FALSE(FolderIndexListsName(dir_.path(), "Wor"));
  EXPECT_FALSE(FolderIndexListsName(dir_.path() + "/missing", "Work"));
}

}  // namespace
}  // namespace tw
