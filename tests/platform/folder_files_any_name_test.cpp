// The listing mode and rename that reach names the platform otherwise
// refuses (control bytes, '"', '*', ':' ...), which only the folder-index
// rebuild uses to give such directories usable names.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/last_error.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

std::vector<std::string> Names(FolderFiles& folder, NameMode mode) {
  std::vector<std::string> names;
  for (const FolderEntry& entry : folder.List("*", mode)) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FolderFilesAnyName, ListsAndRenamesNamesOtherCallsRefuse) {
  test::ScratchDir dir;
  for (const char* name : {"bad\x01name", "a:b", "Plain", "caf\xC3\xA9"}) test::MakeDirs(dir / name);
  FolderFiles folder;
  ASSERT_TRUE(folder.Open(dir.path()));
  EXPECT_EQ(Names(folder, NameMode::Valid), (std::vector<std::string>{"Plain", "caf\xC3\xA9"}));
  EXPECT_EQ(Names(folder, NameMode::AnyName),
            (std::vector<std::string>{"Plain", "a:b", "bad\x01name", "caf\xC3\xA9"}));
  EXPECT_FALSE(MoveFile(dir.path() + "\\bad\x01name", dir.path() + "\\bad_name"));
  EXPECT_EQ(GetLastError(), kErrorInvalidName);

  ASSERT_TRUE(folder.RenameAnyName("bad\x01name", "bad_name"));
  EXPECT_TRUE(test::PathExists(dir / "bad_name"));
  EXPECT_FALSE(test::PathExists(dir / "bad\x01name"));
  // Never over an existing entry, in any letter case.
  EXPECT_FALSE(folder.RenameAnyName("a:b", "PLAIN"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_TRUE(test::PathExists(dir / "a:b"));
  // The new name must be one the platform accepts; the old one a single name.
  EXPECT_FALSE(folder.RenameAnyName("a:b", "still:bad"));
  EXPECT_EQ(GetLastError(), kErrorInvalidName);
  EXPECT_FALSE(folder.RenameAnyName("../x", "x"));
  EXPECT_EQ(GetLastError(), kErrorInvalidName);
  EXPECT_FALSE(folder.RenameAnyName("missing\x02", "found"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

}  // namespace
}  // namespace tw::platform
