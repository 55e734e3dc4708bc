#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

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

std::string LongName(size_t length) { return std::string(length, 'n'); }

// A path longer than the system allows, built from short components.
std::string LongPath(const ScratchDir& dir) {
  std::string path = dir.path();
  while (path.size() <= 4200) path += "\\" + LongName(200);
  return path;
}

// Holds a file as an exclusive handle does: an flock(LOCK_EX) on its own
// open file description.
class ExclusiveHold {
 public:
  explicit ExclusiveHold(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ >= 0) locked_ = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
  }
  ~ExclusiveHold() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool locked() const { return locked_; }

 private:
  int fd_;
  bool locked_ = false;
};

// Windows leaves the last error alone on some successes; these calls clear
// it, and a test may rely on that.
void Dirty() { SetLastError(9999); }

TEST(PlatformFilesOps, CreateDirectory) {
  ScratchDir dir;
  Dirty();
  EXPECT_TRUE(CreateDirectory(dir.path() + "\\Inbox"));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_TRUE(PathExists(dir / "Inbox"));

  EXPECT_FALSE(CreateDirectory(dir.path() + "\\Inbox"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  // Windows names are one entry in any case.
  EXPECT_FALSE(CreateDirectory(dir.path() + "\\INBOX"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  WriteFile(dir / "file", "x");
  EXPECT_FALSE(CreateDirectory(dir / "file"));
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);

  EXPECT_FALSE(CreateDirectory(dir.path() + "\\missing\\child"));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(CreateDirectory(dir / "file/child"));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);

  // Below a parent found in another case.
  EXPECT_TRUE(CreateDirectory(dir.path() + "\\INBOX\\Projects\\"));
  EXPECT_TRUE(PathExists(dir / "Inbox/Projects"));
}

TEST(PlatformFilesOps, InvalidAndOverlongNames) {
  ScratchDir dir;
  for (const char* bad : {"a:b", "a*b", "a?b", "a<b", "a>b", "a|b", "a\"b", "a\x01" "b"}) {
    const std::string path = dir.path() + "\\" + bad;
    EXPECT_FALSE(CreateDirectory(path)) << bad;
    EXPECT_EQ(GetLastError(), kErrorInvalidName) << bad;
    EXPECT_EQ(GetFileAttributes(path), kInvalidAttributes);
    EXPECT_EQ(GetLastError(), kErrorInvalidName) << bad;
    EXPECT_FALSE(DeleteFile(path));
    EXPECT_EQ(GetLastError(), kErrorInvalidName) << bad;
    EXPECT_FALSE(PathExists(dir / bad));
  }
  // An invalid directory part counts as much as an invalid last part.
  EXPECT_FALSE(CreateDirectory(dir.path() + "\\bad:dir\\child"));
  EXPECT_EQ(GetLastError(), kErrorInvalidName);
  EXPECT_FALSE(CreateDirectory(dir.path() + "\\wild*\\child"));
  EXPECT_EQ(GetLastError(), kErrorInvalidName);

  const std::string tooLong = dir.path() + "\\" + LongName(256);
  EXPECT_FALSE(CreateDirectory(tooLong));
  EXPECT_EQ(GetLastError(), kErrorFilenameTooLong);
  EXPECT_EQ(GetFileAttributes(tooLong), kInvalidAttributes);
  EXPECT_EQ(GetLastError(), kErrorFilenameTooLong);
  EXPECT_TRUE(CreateDirectory(dir.path() + "\\" + LongName(255)));

  EXPECT_FALSE(CreateDirectory(LongPath(dir)));
  EXPECT_EQ(GetLastError(), kErrorFilenameTooLong);
  EXPECT_FALSE(DeleteFile(LongPath(dir)));
  EXPECT_EQ(GetLastError(), kErrorFilenameTooLong);

  EXPECT_FALSE(CreateDirectory(""));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
}

TEST(PlatformFilesOps, RemoveDirectory) {
  ScratchDir dir;
  MakeDirs(dir / "Full");
  WriteFile(dir / "Full/a.MAI", "x");
  EXPECT_FALSE(RemoveDirectory(dir / "Full"));
  EXPECT_EQ(GetLastError(), kErrorDirNotEmpty);
  EXPECT_TRUE(PathExists(dir / "Full/a.MAI"));

  MakeDirs(dir / "Empty");
  Dirty();
  EXPECT_TRUE(RemoveDirectory(dir.path() + "\\EMPTY"));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_FALSE(PathExists(dir / "Empty"));

  EXPECT_FALSE(RemoveDirectory(dir / "Empty"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(RemoveDirectory(dir / "gone/Empty"));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(RemoveDirectory(dir / "Full/a.MAI"));
  EXPECT_EQ(GetLastError(), kErrorDirectory);
}

TEST(PlatformFilesOps, RemoveDirectoryIgnoresTheCreationTimeFile) {
  ScratchDir dir;
  WriteFile(dir / "Folder/.twcreated", "133000000000000000\n");
  EXPECT_TRUE(RemoveDirectory(dir / "Folder"));
  EXPECT_FALSE(PathExists(dir / "Folder"));

  // Not when anything else is there too.
  WriteFile(dir / "Kept/.twcreated", "133000000000000000\n");
  WriteFile(dir / "Kept/.other", "");
  EXPECT_FALSE(RemoveDirectory(dir / "Kept"));
  EXPECT_EQ(GetLastError(), kErrorDirNotEmpty);
  EXPECT_TRUE(PathExists(dir / "Kept/.twcreated"));
}

TEST(PlatformFilesOps, RemoveDirectoryOfALinkRemovesOnlyTheLink) {
  ScratchDir dir;
  WriteFile(dir / "outside/precious.MAI", "keep");
  MakeDirs(dir / "box");
  ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "box/link").c_str()), 0);
  EXPECT_TRUE(RemoveDirectory(dir.path() + "\\box\\link"));
  EXPECT_FALSE(PathExists(dir / "box/link"));
  EXPECT_EQ(ReadFile(dir / "outside/precious.MAI"), "keep");
  // A link to a file is no directory.
  ASSERT_EQ(::symlink((dir / "outside/precious.MAI").c_str(), (dir / "box/filelink").c_str()), 0);
  EXPECT_FALSE(RemoveDirectory(dir / "box/filelink"));
  EXPECT_EQ(GetLastError(), kErrorDirectory);
}

TEST(PlatformFilesOps, DeleteFile) {
  ScratchDir dir;
  WriteFile(dir / "Inbox/1.MAI", "x");
  Dirty();
  EXPECT_TRUE(DeleteFile(dir.path() + "\\inbox\\1.mai"));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_FALSE(PathExists(dir / "Inbox/1.MAI"));

  EXPECT_FALSE(DeleteFile(dir / "Inbox/1.MAI"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(DeleteFile(dir / "Nowhere/1.MAI"));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(DeleteFile(dir / "Inbox"));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_TRUE(PathExists(dir / "Inbox"));
}

TEST(PlatformFilesOps, DeleteFileRemovesALinkNotItsTarget) {
  ScratchDir dir;
  WriteFile(dir / "target", "kept");
  ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  EXPECT_TRUE(DeleteFile(dir / "link"));
  EXPECT_EQ(ReadFile(dir / "target"), "kept");
}

TEST(PlatformFilesOps, DeleteFileRefusesAFileHeldWithoutSharing) {
  ScratchDir dir;
  WriteFile(dir / "_index.blk", "");
  {
    ExclusiveHold hold(dir / "_index.blk");
    ASSERT_TRUE(hold.locked());
    EXPECT_FALSE(DeleteFile(dir / "_index.blk"));
    EXPECT_EQ(GetLastError(), kErrorSharingViolation);
    EXPECT_TRUE(PathExists(dir / "_index.blk"));
  }
  EXPECT_TRUE(DeleteFile(dir / "_index.blk"));
}

TEST(PlatformFilesOps, LibraryFilesAnswerToEverySpelling) {
  ScratchDir dir;
  WriteFile(dir / "Inbox/_CHANGE.DTY", "");
  EXPECT_EQ(GetFileAttributes(dir.path() + "\\Inbox\\_change.dty"), kAttrArchive);
  EXPECT_TRUE(DeleteFile(dir.path() + "\\Inbox\\_change.dty"));
  EXPECT_FALSE(PathExists(dir / "Inbox/_CHANGE.DTY"));
}

TEST(PlatformFilesOps, DeleteFileAllCases) {
  ScratchDir dir;
  WriteFile(dir / "Inbox/_CHANGE.DTY", "");
  WriteFile(dir / "Inbox/_change.dty", "");
  WriteFile(dir / "Inbox/_Change.Dty", "");
  WriteFile(dir / "Inbox/other.txt", "");
  Dirty();
  EXPECT_TRUE(DeleteFileAllCases(dir.path() + "\\Inbox\\_change.dty"));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_FALSE(PathExists(dir / "Inbox/_CHANGE.DTY"));
  EXPECT_FALSE(PathExists(dir / "Inbox/_change.dty"));
  EXPECT_FALSE(PathExists(dir / "Inbox/_Change.Dty"));
  EXPECT_TRUE(PathExists(dir / "Inbox/other.txt"));

  // Only a variant spelling there.
  WriteFile(dir / "Inbox/_folder.DTY", "");
  EXPECT_TRUE(DeleteFileAllCases(dir / "Inbox/_folder.dty"));
  EXPECT_FALSE(PathExists(dir / "Inbox/_folder.DTY"));

  EXPECT_FALSE(DeleteFileAllCases(dir / "Inbox/_CHANGE.DTY"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(DeleteFileAllCases(dir / "Missing/_CHANGE.DTY"));
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
}

}  // namespace
}  // namespace tw::platform
