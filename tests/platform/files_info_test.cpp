#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>

#include "platform/creation_time.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using test::MakeDirs;
using test::PathExists;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

constexpr uint32_t kDeleteTreeMask = 0x1A6;

TEST(PlatformFilesInfo, Attributes) {
  ScratchDir dir;
  MakeDirs(dir / "Folder");
  MakeDirs(dir / ".hiddendir");
  WriteFile(dir / "plain.MAI", "x");
  WriteFile(dir / ".hidden", "x");
  WriteFile(dir / "readonly", "x");
  ASSERT_EQ(::chmod((dir / "readonly").c_str(), 0444), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(::symlink((dir / "Folder").c_str(), (dir / "dirlink").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "plain.MAI").c_str(), (dir / "filelink").c_str()), 0);

  SetLastError(9999);
  EXPECT_EQ(GetFileAttributes(dir / "Folder"), kAttrDirectory);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(GetFileAttributes(dir / "Folder/"), kAttrDirectory);
  EXPECT_EQ(GetFileAttributes(dir / ".hiddendir"), kAttrDirectory | kAttrHidden);
  EXPECT_EQ(GetFileAttributes(dir / "plain.MAI"), kAttrArchive);
  EXPECT_EQ(GetFileAttributes(dir / ".hidden"), kAttrArchive | kAttrHidden);
  EXPECT_EQ(GetFileAttributes(dir / "readonly"), kAttrArchive | kAttrReadonly);
  EXPECT_EQ(GetFileAttributes(dir / "fifo"), kAttrArchive);
  // Links take their target's attributes and are marked as reparse points.
  EXPECT_EQ(GetFileAttributes(dir / "dirlink"), kAttrDirectory | kAttrReparsePoint);
  EXPECT_EQ(GetFileAttributes(dir / "filelink"), kAttrArchive | kAttrReparsePoint);
  ASSERT_EQ(::symlink((dir / "nothing").c_str(), (dir / "dangling").c_str()), 0);
  EXPECT_EQ(GetFileAttributes(dir / "dangling"), kAttrArchive | kAttrReparsePoint);
  EXPECT_EQ(GetFileAttributes(dir / "Folder/."), kAttrDirectory);
}

TEST(PlatformFilesInfo, DeleteTreeMaskSeesFilesButNotPlainDirectories) {
  ScratchDir dir;
  MakeDirs(dir / "Folder");
  MakeDirs(dir / ".hiddendir");
  WriteFile(dir / "plain.MAI", "x");
  EXPECT_NE(GetFileAttributes(dir / "plain.MAI") & kDeleteTreeMask, 0u);
  EXPECT_EQ(GetFileAttributes(dir / "Folder") & kDeleteTreeMask, 0u);
  EXPECT_NE(GetFileAttributes(dir / ".hiddendir") & kDeleteTreeMask, 0u);
}

TEST(PlatformFilesInfo, LinksDescribeTheirTargets) {
  ScratchDir dir;
  WriteFile(dir / "target", std::string(77, 'x'));
  ASSERT_TRUE(SetFileLastWriteTime(dir / "target", FileTimeFromUnix(1500000000)));
  ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  FileInfo info;
  ASSERT_TRUE(GetFileInfo(dir / "link", info));
  EXPECT_EQ(info.size, 77u);
  EXPECT_EQ(info.lastWriteTime, FileTimeFromUnix(1500000000));
}

TEST(PlatformFilesInfo, MissingEntries) {
  ScratchDir dir;
  WriteFile(dir / "file", "x");
  EXPECT_EQ(GetFileAttributes(dir / "none"), kInvalidAttributes);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(GetFileAttributes(dir / "none/deeper"), kInvalidAttributes);
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(GetFileAttributes(dir / "file/deeper"), kInvalidAttributes);
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  FileInfo info;
  EXPECT_FALSE(GetFileInfo(dir / "none", info));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(SetFileLastWriteTime(dir / "none/x", CurrentFileTime()));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
}

TEST(PlatformFilesInfo, SizesAndTimes) {
  ScratchDir dir;
  WriteFile(dir / "Inbox/1.MAI", std::string(1234, 'x'));
  const uint64_t when = FileTimeFromUnix(1600000000, 123456700);
  SetLastError(9999);
  ASSERT_TRUE(SetFileLastWriteTime(dir.path() + "\\INBOX\\1.mai", when));
  EXPECT_EQ(GetLastError(), 0u);
  FileInfo info;
  ASSERT_TRUE(GetFileInfo(dir / "Inbox/1.MAI", info));
  EXPECT_EQ(info.attributes, kAttrArchive);
  EXPECT_EQ(info.size, 1234u);
  EXPECT_EQ(info.lastWriteTime, when);
  EXPECT_NE(info.lastAccessTime, 0u);
  EXPECT_NE(info.creationTime, 0u);

  ASSERT_TRUE(GetFileInfo(dir / "Inbox", info));
  EXPECT_EQ(info.attributes, kAttrDirectory);
  EXPECT_EQ(info.size, 0u);
  ASSERT_TRUE(SetFileLastWriteTime(dir / "Inbox", when));
  ASSERT_TRUE(GetFileInfo(dir / "Inbox", info));
  EXPECT_EQ(info.lastWriteTime, when);
}

// Runs with the creation-time sources a test picks, and restores them.
class PlatformFilesCreationTime : public ::testing::Test {
 protected:
  void TearDown() override { detail::SetCreationTimeSources(true, true); }

  // Creates a directory whose modification time is `seconds`.
  void MakeFolder(const std::string& path, int64_t seconds) {
    MakeDirs(path);
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = seconds;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  uint64_t Created(const std::string& path) {
    FileInfo info;
    EXPECT_TRUE(GetFileInfo(path, info));
    return info.creationTime;
  }

  ScratchDir dir_;
};

TEST_F(PlatformFilesCreationTime, StaysTheSameWhenTheContentsChange) {
  MakeDirs(dir_ / "Inbox");
  const uint64_t created = Created(dir_ / "Inbox");
  ASSERT_NE(created, 0u);
  WriteFile(dir_ / "Inbox/1.MAI", "x");
  ASSERT_EQ(::rename((dir_ / "Inbox/1.MAI").c_str(), (dir_ / "Inbox/2.MAI").c_str()), 0);
  ASSERT_TRUE(SetFileLastWriteTime(dir_ / "Inbox", FileTimeFromUnix(2000000000)));
  EXPECT_EQ(Created(dir_ / "Inbox"), created);
}

TEST_F(PlatformFilesCreationTime, KeptInAnExtendedAttributeWithoutBirthTime) {
  detail::SetCreationTimeSources(false, true);
  MakeFolder(dir_ / "Inbox", 1400000000);
  if (::setxattr((dir_ / "Inbox").c_str(), "user.probe", "1", 1, 0) != 0)
    GTEST_SKIP() << "no user extended attributes here";
  ::removexattr((dir_ / "Inbox").c_str(), "user.probe");

  EXPECT_EQ(Created(dir_ / "Inbox"), FileTimeFromUnix(1400000000));
  char value[64] = {};
  const ssize_t n = ::getxattr((dir_ / "Inbox").c_str(), "user.tarnwick.created", value, sizeof value - 1);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(value, static_cast<size_t>(n)), std::to_string(FileTimeFromUnix(1400000000)));

  WriteFile(dir_ / "Inbox/1.MAI", "x");
  ASSERT_TRUE(SetFileLastWriteTime(dir_ / "Inbox", FileTimeFromUnix(1500000000)));
  EXPECT_EQ(Created(dir_ / "Inbox"), FileTimeFromUnix(1400000000));
  EXPECT_FALSE(PathExists(dir_ / "Inbox/.twcreated"));
  // It moves with the directory.
  ASSERT_TRUE(MoveFile(dir_ / "Inbox", dir_ / "Renamed"));
  EXPECT_EQ(Created(dir_ / "Renamed"), FileTimeFromUnix(1400000000));
}

TEST_F(PlatformFilesCreationTime, KeptInAHiddenFileWithoutAttributes) {
  detail::SetCreationTimeSources(false, false);
  MakeFolder(dir_ / "Inbox", 1400000000);
  EXPECT_EQ(Created(dir_ / "Inbox"), FileTimeFromUnix(1400000000));
  EXPECT_EQ(ReadFile(dir_ / "Inbox/.twcreated"), std::to_string(FileTimeFromUnix(1400000000)) + "\n");

  WriteFile(dir_ / "Inbox/1.MAI", "x");
  ASSERT_TRUE(SetFileLastWriteTime(dir_ / "Inbox", FileTimeFromUnix(1500000000)));
  EXPECT_EQ(Created(dir_ / "Inbox"), FileTimeFromUnix(1400000000));

  // The bookkeeping file is invisible to listings and to removal.
  FindHandle find;
  FindData data;
  ASSERT_TRUE(find.First(dir_ / "Inbox/*", data));
  std::string names;
  do names += data.name + ";";
  while (find.Next(data));
  EXPECT_EQ(names, ".;..;1.MAI;");
  find.Close();
  ASSERT_TRUE(DeleteFile(dir_ / "Inbox/1.MAI"));
  EXPECT_TRUE(RemoveDirectory(dir_ / "Inbox"));
  EXPECT_FALSE(PathExists(dir_ / "Inbox"));
}

TEST_F(PlatformFilesCreationTime, ListingOfTheDotEntryGivesTheFolderCreationTime) {
  detail::SetCreationTimeSources(false, false);
  MakeFolder(dir_ / "Inbox", 1400000000);
  FindHandle find;
  FindData data;
  ASSERT_TRUE(find.First(dir_ / "Inbox/*.*", data));
  EXPECT_EQ(data.name, ".");
  EXPECT_EQ(data.creationTime, FileTimeFromUnix(1400000000));
  EXPECT_EQ(data.attributes, kAttrDirectory);
}

TEST_F(PlatformFilesCreationTime, PlainFilesWithoutBirthTimeUseTheWriteTime) {
  detail::SetCreationTimeSources(false, false);
  WriteFile(dir_ / "1.MAI", "x");
  ASSERT_TRUE(SetFileLastWriteTime(dir_ / "1.MAI", FileTimeFromUnix(1300000000)));
  EXPECT_EQ(Created(dir_ / "1.MAI"), FileTimeFromUnix(1300000000));
}

TEST_F(PlatformFilesCreationTime, AStoredValueWins) {
  detail::SetCreationTimeSources(false, false);
  MakeFolder(dir_ / "Inbox", 1400000000);
  WriteFile(dir_ / "Inbox/.twcreated", "130000000000000000\n");
  EXPECT_EQ(Created(dir_ / "Inbox"), 130000000000000000u);
  // A damaged value is replaced, and the new one then holds.
  MakeFolder(dir_ / "Other", 1450000000);
  WriteFile(dir_ / "Other/.twcreated", "garbage");
  ASSERT_TRUE(SetFileLastWriteTime(dir_ / "Other", FileTimeFromUnix(1450000000)));
  EXPECT_EQ(Created(dir_ / "Other"), FileTimeFromUnix(1450000000));
  ASSERT_TRUE(SetFileLastWriteTime(dir_ / "Other", FileTimeFromUnix(1460000000)));
  EXPECT_EQ(Created(dir_ / "Other"), FileTimeFromUnix(1450000000));
}

}  // namespace
}  // namespace tw::platform
