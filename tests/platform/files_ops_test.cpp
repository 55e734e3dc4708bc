#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <tuple>
#include <vector>

#include "platform/files.h"
#include "platform/last_error.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using Strings = std::vector<std::string>;

Strings Names(const std::string& directory) {
  Strings names;
  for (const auto& e : std::filesystem::directory_iterator(directory)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The last error a call left behind; 0 when it succeeded.
uint32_t ErrorAfter(bool succeeded) { return succeeded ? 0 : GetLastError(); }

TEST(PlatformFilesOps, CreateDirectoryAndNamesRefusedEverywhere) {
  test::ScratchDir dir;
  test::WriteFile(dir / "file", "x");
  SetLastError(9999);
  EXPECT_TRUE(CreateDirectory(dir.path() + "\\Inbox") && GetLastError() == 0);
  EXPECT_TRUE(CreateDirectory(dir.path() + "\\INBOX\\Sub\\") && test::PathExists(dir / "Inbox/Sub"));  // parent's case
  EXPECT_TRUE(CreateDirectory(dir / std::string(255, 'n')));
  std::string longPath = dir.path();
  while (longPath.size() <= 4200) longPath += "\\" + std::string(200, 'n');
  std::vector<std::pair<std::string, uint32_t>> cases = {{dir / "INBOX", 183}, {dir / "file", 183},
      {dir.path() + "\\missing\\child", 3}, {dir / "file/child", 3}, {"", 3}, {dir / std::string(256, 'n'), 206},
      {longPath, 206}, {dir / "bad:dir/child", 123}, {dir / "wild*/child", 123}};
  for (char c : std::string(":*?<>|\"\x01")) cases.emplace_back(dir.path() + "\\a" + c + "b", 123);
  for (const auto& [path, error] : cases) {
    EXPECT_EQ(ErrorAfter(CreateDirectory(path)), error) << path;
    if (error == 183) continue;
    EXPECT_EQ(ErrorAfter(GetFileAttributes(path) != kInvalidAttributes), error) << path;
    EXPECT_EQ(ErrorAfter(DeleteFile(path)), error) << path;
  }
  EXPECT_EQ(Names(dir.path()), (Strings{"Inbox", "file", std::string(255, 'n')}));
}

TEST(PlatformFilesOps, RemoveDirectoryAndDeleteFile) {
  test::ScratchDir dir;
  for (const char* file : {"Full/1.MAI", "Bare/.twcreated", "Kept/.twcreated", "Kept/.other", "out/keep.MAI"})
    test::WriteFile(dir / file, "133000000000000000\n");
  test::MakeDirs(dir / "Empty");
  ASSERT_EQ(::symlink((dir / "out").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "out/keep.MAI").c_str(), (dir / "filelink").c_str()), 0);
  SetLastError(9999);
  EXPECT_TRUE(RemoveDirectory(dir.path() + "\\EMPTY") && GetLastError() == 0);
  EXPECT_TRUE(RemoveDirectory(dir / "Bare"));  // the creation-time file alone counts as empty
  for (const auto& [path, error] : {std::pair<const char*, uint32_t>{"Full", 145}, {"Kept", 145}, {"Empty", 2},
           {"gone/Empty", 3}, {"Full/1.MAI", 267}, {"filelink", 267}})
    EXPECT_EQ(ErrorAfter(RemoveDirectory(dir / path)), error) << path;
  SetLastError(9999);
  EXPECT_TRUE(DeleteFile(dir.path() + "\\full\\1.mai") && GetLastError() == 0);
  for (const auto& [path, error] :
       {std::pair<const char*, uint32_t>{"Full/1.MAI", 2}, {"Nowhere/1.MAI", 3}, {"Full", 5}})
    EXPECT_EQ(ErrorAfter(DeleteFile(dir / path)), error) << path;
  // Links go, not what they point to.
  EXPECT_TRUE(RemoveDirectory(dir.path() + "\\link") && DeleteFile(dir / "filelink"));
  EXPECT_EQ(Names(dir.path()), (Strings{"Full", "Kept", "out"}));
  EXPECT_EQ(Names(dir / "Kept").size() + Names(dir / "out").size(), 3u);

  // Library files answer to every spelling; a flag file goes in all of them.
  for (const char* name : {"_CHANGE.DTY", "_change.dty", "_Change.Dty", "_folder.DTY", "other.txt"})
    test::WriteFile(dir / ("Full/" + std::string(name)), "");
  EXPECT_TRUE(DeleteFile(dir.path() + "\\Full\\_change.dty"));  // the canonical spelling only
  EXPECT_EQ(Names(dir / "Full"), (Strings{"_Change.Dty", "_change.dty", "_folder.DTY", "other.txt"}));
  EXPECT_TRUE(DeleteFileAllCases(dir.path() + "\\Full\\_change.dty"));
  EXPECT_TRUE(DeleteFileAllCases(dir / "Full/_folder.dty"));  // only a variant spelling there
  EXPECT_EQ(Names(dir / "Full"), Strings{"other.txt"});
  EXPECT_EQ(ErrorAfter(DeleteFileAllCases(dir / "Full/_CHANGE.DTY")), kErrorFileNotFound);
  EXPECT_EQ(ErrorAfter(DeleteFileAllCases(dir / "Missing/_CHANGE.DTY")), kErrorPathNotFound);
}

TEST(PlatformFilesMove, MovesAndChangesLetterCaseButNeverOverwrites) {
  test::ScratchDir dir;
  for (const char* file : {"Inbox/1.MAI", "Inbox/Sub/x.MAI", "b.txt"}) test::WriteFile(dir / file, file);
  test::MakeDirs(dir / "Empty");
  SetLastError(9999);
  EXPECT_TRUE(MoveFile(dir.path() + "\\inbox\\1.MAI", dir.path() + "\\A.txt") && GetLastError() == 0);
  EXPECT_TRUE(MoveFile(dir / "Inbox", dir / "Empty/Old") && MoveFile(dir / "Empty/Old", dir / "OLD"));
  EXPECT_TRUE(MoveFile(dir / "A.txt", dir / "a.txt") && MoveFile(dir / "a.txt", dir / "a.txt"));  // case only: no clash
  for (const auto& [from, to, error] : std::initializer_list<std::tuple<const char*, const char*, uint32_t>>{
           {"a.txt", "b.txt", 183}, {"a.txt", "B.TXT", 183}, {"OLD", "empty", 183}, {"a.txt", "Empty", 183},
           {"none", "x", 2}, {"Nowhere/none", "x", 3}, {"a.txt", "Nowhere/a.txt", 3}, {"a.txt", "bad:name", 123}})
    EXPECT_EQ(ErrorAfter(MoveFile(dir / from, dir / to)), error) << from << " -> " << to;
  EXPECT_EQ(Names(dir.path()), (Strings{"Empty", "OLD", "a.txt", "b.txt"}));
  EXPECT_EQ(test::ReadFile(dir / "a.txt") + test::ReadFile(dir / "b.txt") + test::ReadFile(dir / "OLD/Sub/x.MAI"),
            "Inbox/1.MAIb.txtInbox/Sub/x.MAI");
}

TEST(PlatformFilesCopy, CopiesBytesAndTimeOverwritesOnlyWhenAllowedAndRespectsHolders) {
  test::ScratchDir dir;
  std::string content;
  for (int i = 0; i < 300000; ++i) content += static_cast<char>(i * 7);
  test::WriteFile(dir / "src.MAI", content);
  test::WriteFile(dir / "B", "old");
  test::MakeDirs(dir / "Folder");
  ASSERT_TRUE(SetFileLastWriteTime(dir / "src.MAI", FileTimeFromUnix(1500000000, 250000000)));
  SetLastError(9999);
  EXPECT_TRUE(CopyFile(dir / "SRC.mai", dir / "dst.MAI", true) && GetLastError() == 0);
  EXPECT_EQ(test::ReadFile(dir / "dst.MAI"), content);
  FileInfo info;
  EXPECT_TRUE(GetFileInfo(dir / "dst.MAI", info) && info.lastWriteTime == FileTimeFromUnix(1500000000, 250000000));
  const int fd = ::open((dir / "B").c_str(), O_RDONLY | O_CLOEXEC);  // held as an exclusive handle holds it
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  for (const auto& [from, to, failIfExists, error] :
       std::initializer_list<std::tuple<const char*, const char*, bool, uint32_t>>{{"src.MAI", "B", true, 80},
           {"src.MAI", "b", true, 80} /* B in another case */, {"none", "x", false, 2}, {"src.MAI", "no/x", false, 3},
           {"Folder", "x", false, 5}, {"src.MAI", "Folder", false, 5}, {"src.MAI", "SRC.MAI", false, 32},
           {"src.MAI", "B", false, 32}, {"B", "x", false, 32}})  // the last two: B is held
    EXPECT_EQ(ErrorAfter(CopyFile(dir / from, dir / to, failIfExists)), error) << from << " -> " << to;
  EXPECT_EQ(ErrorAfter(MoveFile(dir / "B", dir / "moved")), kErrorSharingViolation);
  ::close(fd);
  EXPECT_EQ(test::ReadFile(dir / "B"), "old");
  EXPECT_TRUE(CopyFile(dir / "src.MAI", dir / "b", false));
  EXPECT_EQ(Names(dir.path()), (Strings{"B", "Folder", "dst.MAI", "src.MAI"}));
  EXPECT_EQ(test::ReadFile(dir / "B"), content);
}

}  // namespace
}  // namespace tw::platform
