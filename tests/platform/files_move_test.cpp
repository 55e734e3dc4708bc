#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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

std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(directory)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

int64_t MtimeSeconds(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mtim.tv_sec;
}

TEST(PlatformFilesMove, MovesFilesAndDirectories) {
  ScratchDir dir;
  WriteFile(dir / "Inbox/1.MAI", "one");
  MakeDirs(dir / "Archive");
  SetLastError(9999);
  EXPECT_TRUE(MoveFile(dir.path() + "\\inbox\\1.MAI", dir.path() + "\\ARCHIVE\\2.MAI"));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(ReadFile(dir / "Archive/2.MAI"), "one");
  EXPECT_FALSE(PathExists(dir / "Inbox/1.MAI"));

  WriteFile(dir / "Inbox/Sub/x.MAI", "x");
  EXPECT_TRUE(MoveFile(dir / "Inbox", dir / "Archive/Old Inbox"));
  EXPECT_EQ(ReadFile(dir / "Archive/Old Inbox/Sub/x.MAI"), "x");
  EXPECT_FALSE(PathExists(dir / "Inbox"));
}

TEST(PlatformFilesMove, RefusesAnExistingDestination) {
  ScratchDir dir;
  WriteFile(dir / "a.txt", "a");
  WriteFile(dir / "b.txt", "b");
  EXPECT_FALSE(MoveFile(dir / "a.txt", dir / "b.txt"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_FALSE(MoveFile(dir / "a.txt", dir / "B.TXT"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_EQ(ReadFile(dir / "a.txt"), "a");
  EXPECT_EQ(ReadFile(dir / "b.txt"), "b");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.txt", "b.txt"}));

  MakeDirs(dir / "One/x");
  MakeDirs(dir / "Two");
  EXPECT_FALSE(MoveFile(dir / "One", dir / "two"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_TRUE(PathExists(dir / "One/x"));
  // An empty directory is no exception.
  EXPECT_FALSE(MoveFile(dir / "a.txt", dir / "Two"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
}

TEST(PlatformFilesMove, AllowsChangingOnlyTheLetterCase) {
  ScratchDir dir;
  MakeDirs(dir / "box/Inbox/Sub");
  EXPECT_TRUE(MoveFile(dir / "box/Inbox", dir / "box/INBOX"));
  EXPECT_EQ(Names(dir / "box"), std::vector<std::string>{"INBOX"});
  EXPECT_TRUE(PathExists(dir / "box/INBOX/Sub"));

  WriteFile(dir / "box/note.txt", "n");
  EXPECT_TRUE(MoveFile(dir / "box/note.txt", dir / "box/Note.TXT"));
  EXPECT_EQ(Names(dir / "box"), (std::vector<std::string>{"INBOX", "Note.TXT"}));
  EXPECT_TRUE(MoveFile(dir / "box/Note.TXT", dir / "box/Note.TXT"));
  EXPECT_EQ(ReadFile(dir / "box/Note.TXT"), "n");
}

TEST(PlatformFilesMove, MissingSourceOrDestinationDirectory) {
  ScratchDir dir;
  MakeDirs(dir / "Inbox");
  EXPECT_FALSE(MoveFile(dir / "Inbox/none.MAI", dir / "Inbox/x.MAI"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(MoveFile(dir / "Nowhere/none.MAI", dir / "Inbox/x.MAI"));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  WriteFile(dir / "Inbox/1.MAI", "1");
  EXPECT_FALSE(MoveFile(dir / "Inbox/1.MAI", dir / "Nowhere/1.MAI"));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_TRUE(PathExists(dir / "Inbox/1.MAI"));
  EXPECT_FALSE(MoveFile(dir / "Inbox/1.MAI", dir / "Inbox/bad:name"));
  EXPECT_EQ(GetLastError(), kErrorInvalidName);
}

TEST(PlatformFilesMove, RefusesASourceHeldWithoutSharing) {
  ScratchDir dir;
  WriteFile(dir / "_activity.tmp", "x");
  const int fd = ::open((dir / "_activity.tmp").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(MoveFile(dir / "_activity.tmp", dir / "_activity.tab"));
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  ::close(fd);
  EXPECT_TRUE(MoveFile(dir / "_activity.tmp", dir / "_activity.tab"));
  EXPECT_EQ(ReadFile(dir / "_activity.tab"), "x");
}

TEST(PlatformFilesCopy, CopiesBytesAndLastWriteTime) {
  ScratchDir dir;
  std::string content(300000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  WriteFile(dir / "src.MAI", content);
  const uint64_t when = FileTimeFromUnix(1500000000, 250000000);
  ASSERT_TRUE(SetFileLastWriteTime(dir / "src.MAI", when));
  SetLastError(9999);
  EXPECT_TRUE(CopyFile(dir / "SRC.mai", dir / "dst.MAI", true));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(ReadFile(dir / "dst.MAI"), content);
  FileInfo info;
  ASSERT_TRUE(GetFileInfo(dir / "dst.MAI", info));
  EXPECT_EQ(info.lastWriteTime, when);
  EXPECT_EQ(info.size, content.size());
}

TEST(PlatformFilesCopy, OverwritesOnlyWhenAllowed) {
  ScratchDir dir;
  WriteFile(dir / "a", "new content");
  WriteFile(dir / "B", "old, longer content");
  EXPECT_FALSE(CopyFile(dir / "a", dir / "B", true));
  EXPECT_EQ(GetLastError(), kErrorFileExists);
  EXPECT_FALSE(CopyFile(dir / "a", dir / "b", true));  // the same entry in another case
  EXPECT_EQ(GetLastError(), kErrorFileExists);
  EXPECT_EQ(ReadFile(dir / "B"), "old, longer content");
  EXPECT_TRUE(CopyFile(dir / "a", dir / "b", false));
  EXPECT_EQ(ReadFile(dir / "B"), "new content");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"B", "a"}));
}

TEST(PlatformFilesCopy, Failures) {
  ScratchDir dir;
  WriteFile(dir / "file", "keep me");
  MakeDirs(dir / "Folder");
  EXPECT_FALSE(CopyFile(dir / "none", dir / "x", false));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(CopyFile(dir / "nowhere/none", dir / "x", false));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(CopyFile(dir / "file", dir / "nowhere/x", false));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(CopyFile(dir / "Folder", dir / "x", false));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(CopyFile(dir / "file", dir / "Folder", false));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  // Onto itself: refused, and the file is untouched.
  EXPECT_FALSE(CopyFile(dir / "file", dir / "FILE", false));
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(ReadFile(dir / "file"), "keep me");
  EXPECT_FALSE(PathExists(dir / "x"));
}

TEST(PlatformFilesCopy, RefusesFilesHeldWithoutSharing) {
  ScratchDir dir;
  WriteFile(dir / "src", "s");
  WriteFile(dir / "dst", "d");
  for (const char* held : {"src", "dst"}) {
    const int fd = ::open((dir / held).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(CopyFile(dir / "src", dir / "dst", false)) << held;
    EXPECT_EQ(GetLastError(), kErrorSharingViolation) << held;
    ::close(fd);
  }
  EXPECT_EQ(ReadFile(dir / "dst"), "d");
  EXPECT_TRUE(CopyFile(dir / "src", dir / "dst", false));
  EXPECT_EQ(ReadFile(dir / "dst"), "s");
}

TEST(PlatformFilesCopy, KeepsTheModificationSeconds) {
  ScratchDir dir;
  WriteFile(dir / "a", "a");
  ASSERT_TRUE(SetFileLastWriteTime(dir / "a", FileTimeFromUnix(1234567890)));
  ASSERT_TRUE(CopyFile(dir / "a", dir / "b", false));
  EXPECT_EQ(MtimeSeconds(dir / "b"), 1234567890);
}

}  // namespace
}  // namespace tw::platform
