#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/last_error.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using test::MakeDirs;
using test::ScratchDir;
using test::WriteFile;

// Every name a search reports, in order; empty when First fails.
std::vector<std::string> Find(const std::string& pattern) {
  std::vector<std::string> names;
  FindHandle find;
  FindData data;
  if (!find.First(pattern, data)) return names;
  do names.push_back(data.name);
  while (find.Next(data));
  EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
  return names;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

class PlatformFilesFind : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "Inbox/a.MAI", "aa");
    WriteFile(dir_ / "Inbox/B.mai", "b");
    WriteFile(dir_ / "Inbox/c.txt", "c");
    WriteFile(dir_ / "Inbox/noext", "");
    WriteFile(dir_ / "Inbox/_index.xml", "<x/>");
    MakeDirs(dir_ / "Inbox/Sub");
  }
  ScratchDir dir_;
};

TEST_F(PlatformFilesFind, StarListsDotEntriesFirstThenEverything) {
  const auto names = Find(dir_.path() + "\\Inbox\\*");
  ASSERT_EQ(names.size(), 8u);
  EXPECT_EQ(names[0], ".");
  EXPECT_EQ(names[1], "..");
  EXPECT_EQ(Sorted({names.begin() + 2, names.end()}),
            (std::vector<std::string>{"B.mai", "Sub", "_index.xml", "a.MAI", "c.txt", "noext"}));
  EXPECT_EQ(Find(dir_.path() + "\\Inbox\\*.*"), names);
}

TEST_F(PlatformFilesFind, PatternsMatchWithoutRegardToCase) {
  EXPECT_EQ(Sorted(Find(dir_.path() + "/Inbox/*.MAI")), (std::vector<std::string>{"B.mai", "a.MAI"}));
  EXPECT_EQ(Sorted(Find(dir_.path() + "/INBOX/*.mai")), (std::vector<std::string>{"B.mai", "a.MAI"}));
  EXPECT_EQ(Find(dir_.path() + "/Inbox/?.txt"), std::vector<std::string>{"c.txt"});
  EXPECT_EQ(Find(dir_.path() + "/Inbox/noext.*"), std::vector<std::string>{"noext"});
}

TEST_F(PlatformFilesFind, ANameWithoutWildcardsFindsThatEntry) {
  EXPECT_EQ(Find(dir_.path() + "\\Inbox\\b.MAI"), std::vector<std::string>{"B.mai"});
  EXPECT_EQ(Find(dir_.path() + "\\inbox\\sub"), std::vector<std::string>{"Sub"});
  EXPECT_EQ(Find(dir_.path() + "\\Inbox\\_INDEX.XML"), std::vector<std::string>{"_index.xml"});
  EXPECT_EQ(Find(dir_.path() + "\\Inbox\\."), std::vector<std::string>{"."});
}

TEST_F(PlatformFilesFind, FillsTheFindData) {
  ASSERT_TRUE(SetFileLastWriteTime(dir_ / "Inbox/a.MAI", FileTimeFromUnix(1500000000)));
  FindHandle find;
  FindData data;
  ASSERT_TRUE(find.First(dir_ / "Inbox/A.mai", data));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(data.name, "a.MAI");
  EXPECT_EQ(data.attributes, kAttrArchive);
  EXPECT_EQ(data.size, 2u);
  EXPECT_EQ(data.lastWriteTime, FileTimeFromUnix(1500000000));
  EXPECT_NE(data.creationTime, 0u);
  EXPECT_FALSE(find.Next(data));
  EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
  EXPECT_FALSE(find.Next(data));
  EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);

  ASSERT_TRUE(find.First(dir_ / "Inbox/S*", data));
  EXPECT_EQ(data.name, "Sub");
  EXPECT_EQ(data.attributes, kAttrDirectory);
  EXPECT_EQ(data.size, 0u);
}

TEST_F(PlatformFilesFind, NothingFoundAndMissingDirectories) {
  FindHandle find;
  FindData data;
  EXPECT_FALSE(find.First(dir_ / "Inbox/*.vcf", data));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(find.IsOpen());
  EXPECT_FALSE(find.First(dir_ / "Inbox/none.MAI", data));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(find.First(dir_ / "Missing/*", data));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(find.First(dir_ / "Inbox/c.txt/*", data));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(find.First(dir_ / "In*box/*", data));
  EXPECT_EQ(GetLastError(), kErrorInvalidName);
  EXPECT_FALSE(find.First(dir_ / "Inbox/a:b*", data));
  EXPECT_EQ(GetLastError(), kErrorInvalidName);
  EXPECT_FALSE(find.IsOpen());
}

TEST_F(PlatformFilesFind, SkipsNamesWindowsForbids) {
  for (const char* bad : {"colon:name", "star*name", "quest?name", "pipe|name", "back\\slash", "ctl\x01name",
                          "quote\"name", "lt<name"})
    WriteFile(dir_ / ("Inbox/" + std::string(bad)), "x");
  WriteFile(dir_ / "Inbox/.twcreated", "133000000000000000\n");
  WriteFile(dir_ / "Inbox/.twcreated.123.4", "133000000000000000\n");
  // Left by a process killed between creating a new file and naming it.
  WriteFile(dir_ / "Inbox/._index.blk.4242.0123456789abcdef.tmp", "");
  WriteFile(dir_ / "Inbox/.notes.tmp", "");
  const auto names = Sorted(Find(dir_.path() + "\\Inbox\\*"));
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", ".notes.tmp", "B.mai", "Sub", "_index.xml", "a.MAI",
                                             "c.txt", "noext"}));
}

TEST_F(PlatformFilesFind, ReportsLinksAsReparsePoints) {
  ASSERT_EQ(::symlink((dir_ / "Inbox/Sub").c_str(), (dir_ / "Inbox/dirlink").c_str()), 0);
  ASSERT_EQ(::symlink((dir_ / "Inbox/gone").c_str(), (dir_ / "Inbox/dangling").c_str()), 0);
  FindHandle find;
  FindData data;
  ASSERT_TRUE(find.First(dir_ / "Inbox/dirlink", data));
  EXPECT_EQ(data.attributes, kAttrDirectory | kAttrReparsePoint);
  ASSERT_TRUE(find.First(dir_ / "Inbox/dang*", data));
  EXPECT_EQ(data.name, "dangling");
  EXPECT_EQ(data.attributes, kAttrArchive | kAttrReparsePoint);
}

TEST_F(PlatformFilesFind, HandleCanBeReusedAndClosed) {
  FindHandle find;
  FindData data;
  ASSERT_TRUE(find.First(dir_ / "Inbox/*.txt", data));
  EXPECT_TRUE(find.IsOpen());
  ASSERT_TRUE(find.First(dir_ / "Inbox/noext", data));
  EXPECT_EQ(data.name, "noext");
  find.Close();
  EXPECT_FALSE(find.IsOpen());
  EXPECT_FALSE(find.Next(data));
}

TEST_F(PlatformFilesFind, SeesEntriesMadeThroughTheseCalls) {
  ASSERT_EQ(Find(dir_ / "Inbox/NEW.MAI"), std::vector<std::string>{});
  ASSERT_TRUE(CopyFile(dir_ / "Inbox/a.MAI", dir_ / "Inbox/new.mai", true));
  EXPECT_EQ(Find(dir_ / "Inbox/NEW.MAI"), std::vector<std::string>{"new.mai"});
  ASSERT_TRUE(MoveFile(dir_ / "Inbox/new.mai", dir_ / "Inbox/newer.mai"));
  EXPECT_EQ(Find(dir_ / "Inbox/NEW.MAI"), std::vector<std::string>{});
  EXPECT_EQ(Find(dir_ / "Inbox/NEWER.MAI"), std::vector<std::string>{"newer.mai"});
}

}  // namespace
}  // namespace tw::platform
