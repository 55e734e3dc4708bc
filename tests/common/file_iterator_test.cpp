#include "common/file_iterator.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/test_support.h"

namespace tw {
namespace {

using test::ScratchDir;

std::set<std::string> Walk(FileIterator& it) {
  std::set<std::string> names;
  std::string name;
  for (bool more = it.First(name); more; more = it.Next(name)) {
    EXPECT_TRUE(it.Valid());
    EXPECT_EQ(name, it.Data().name);
    names.insert(name);
  }
  EXPECT_FALSE(it.Valid());
  EXPECT_EQ(name, "");
  return names;
}

class CommonFileIteratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(dir_ / "a.MAI", "a");
    test::WriteFile(dir_ / "b.txt", "bb");
    test::MakeDirs(dir_ / "Inbox");
    test::MakeDirs(dir_ / "Sent.MAI");
  }
  std::string Pattern(const std::string& mask) const { return dir_.path() + "\\" + mask; }
  ScratchDir dir_;
};

TEST_F(CommonFileIteratorTest, WithoutFilterEveryEntryIsVisited) {
  FileIterator it(Pattern("*"));
  EXPECT_FALSE(it.Valid());  // before the first step
  EXPECT_EQ(Walk(it), (std::set<std::string>{".", "..", "a.MAI", "b.txt", "Inbox", "Sent.MAI"}));
}

TEST_F(CommonFileIteratorTest, DirectoriesOnlyUsesTheDirectoryAttribute) {
  FileIterator it(Pattern("*"), kDirectoriesOnly);
  EXPECT_EQ(Walk(it), (std::set<std::string>{".", "..", "Inbox", "Sent.MAI"}));
}

TEST_F(CommonFileIteratorTest, DirectoriesOnlySkipsFilesAtTheStartOfTheWalk) {
  // "*.MAI" matches the file a.MAI and the directory Sent.MAI; whichever
  // comes first, only the directory is answered.
  FileIterator it(Pattern("*.MAI"), kDirectoriesOnly);
  EXPECT_EQ(Walk(it), (std::set<std::string>{"Sent.MAI"}));
}

TEST_F(CommonFileIteratorTest, FileMaskKeepsPlainFiles) {
  FileIterator it(Pattern("*"), uint32_t{0x1A6});
  EXPECT_EQ(Walk(it), (std::set<std::string>{"a.MAI", "b.txt"}));
  std::string name;
  ASSERT_TRUE(it.First(name));
  EXPECT_NE(it.Data().attributes & platform::kAttrArchive, 0u);
  EXPECT_EQ(it.Data().size, name == "a.MAI" ? 1u : 2u);
}

TEST_F(CommonFileIteratorTest, PatternsMatchWithoutRegardToCase) {
  FileIterator it(Pattern("*.mai"));
  EXPECT_EQ(Walk(it), (std::set<std::string>{"a.MAI", "Sent.MAI"}));
}

TEST_F(CommonFileIteratorTest, NothingMatchingGivesEmptyNameAndInvalid) {
  FileIterator it(Pattern("*.none"));
  std::string name = "stale";
  EXPECT_FALSE(it.First(name));
  EXPECT_EQ(name, "");
  EXPECT_FALSE(it.Valid());
  name = "stale";
  EXPECT_FALSE(it.Next(name));
  EXPECT_EQ(name, "");
}

TEST_F(CommonFileIteratorTest, MissingDirectoryIsNotAnError) {
  FileIterator it(dir_.path() + "\\missing\\*");
  std::string name;
  EXPECT_FALSE(it.First(name));
  EXPECT_FALSE(it.Valid());
}

TEST_F(CommonFileIteratorTest, FilterWithNoMatchingEntryEndsEmpty) {
  FileIterator it(Pattern("*.txt"), kDirectoriesOnly);
  std::string name = "stale";
  EXPECT_FALSE(it.First(name));
  EXPECT_EQ(name, "");
  EXPECT_FALSE(it.Valid());
}

TEST_F(CommonFileIteratorTest, NextAfterTheEndStaysEnded) {
  FileIterator it(Pattern("b.txt"));
  std::string name;
  ASSERT_TRUE(it.First(name));
  EXPECT_EQ(name, "b.txt");
  EXPECT_FALSE(it.Next(name));
  EXPECT_FALSE(it.Next(name));
  EXPECT_EQ(name, "");
  EXPECT_FALSE(it.Valid());
}

TEST_F(CommonFileIteratorTest, FirstRestartsTheWalk) {
  FileIterator it(Pattern("*"), uint32_t{platform::kAttrArchive});
  std::string name;
  ASSERT_TRUE(it.First(name));
  const std::string first = name;
  ASSERT_TRUE(it.Next(name));
  ASSERT_TRUE(it.First(name));  // mid-walk restart
  EXPECT_EQ(name, first);
  EXPECT_EQ(Walk(it).size(), 2u);
}

TEST_F(CommonFileIteratorTest, BackslashAndSlashPatternsAgree) {
  FileIterator back(dir_.path() + "\\*.txt");
  FileIterator slash(dir_.path() + "/*.txt");
  EXPECT_EQ(Walk(back), Walk(slash));
}

}  // namespace
}  // namespace tw
