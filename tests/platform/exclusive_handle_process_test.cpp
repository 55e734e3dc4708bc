// Exclusive handles between processes: a holder in another process keeps
// others from creating, opening and deleting its file; when it dies (killed
// or not) the file stays and becomes deletable.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "support/holder_process.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using Holder = test::HolderProcess;

FileHandle Exclusive(const std::string& path, Disposition disposition = Disposition::OpenExisting) {
  return OpenFile(path, Access::ReadWrite, Share::None, disposition);
}

FileHandle Shared(const std::string& path) {
  return OpenFile(path, Access::Read, Share::All, Disposition::OpenExisting);
}

// What another process sees of a file that a live holder has open with no
// sharing.
void ExpectHeldExclusively(const std::string& path) {
  SetLastError(0);
  EXPECT_FALSE(Exclusive(path, Disposition::CreateNew).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorFileExists);
  EXPECT_FALSE(Exclusive(path).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_FALSE(Shared(path).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_FALSE(DeleteFile(path));
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_TRUE(test::PathExists(path));
}

// The file outlived its holder and is now free to delete and create again.
void ExpectLeftBehindAndFree(const std::string& path) {
  EXPECT_TRUE(test::PathExists(path));
  EXPECT_TRUE(DeleteFile(path)) << "last error " << GetLastError();
  EXPECT_FALSE(test::PathExists(path));
  FileHandle again = Exclusive(path, Disposition::CreateNew);
  EXPECT_TRUE(again.IsOpen()) << "last error " << GetLastError();
}

TEST(ExclusiveHandleProcess, HolderKilledLeavesDeletableFile) {
  test::ScratchDir dir;
  const std::string path = dir / "x.blk";
  Holder holder("create", path);
  ASSERT_TRUE(holder.Started());
  ASSERT_EQ(holder.Line(), "ok");

  ExpectHeldExclusively(path);

  holder.Kill();
  ExpectLeftBehindAndFree(path);
}

TEST(ExclusiveHandleProcess, HolderExitingWithoutClosingLeavesDeletableFile) {
  test::ScratchDir dir;
  const std::string path = dir / "x.blk";
  Holder holder("create", path);
  ASSERT_EQ(holder.Line(), "ok");
  ExpectHeldExclusively(path);

  ASSERT_TRUE(holder.Send("exit"));
  const int status = holder.Reap();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ExpectLeftBehindAndFree(path);
}

TEST(ExclusiveHandleProcess, HolderClosingFreesFileButKeepsIt) {
  test::ScratchDir dir;
  const std::string path = dir / "x.blk";
  Holder holder("create", path);
  ASSERT_EQ(holder.Line(), "ok");
  ASSERT_TRUE(holder.Send("close"));
  ASSERT_EQ(holder.Line(), "closed");

  // The holder still lives, but no longer has the file open.
  EXPECT_TRUE(Exclusive(path).IsOpen());
  ExpectLeftBehindAndFree(path);
}

TEST(ExclusiveHandleProcess, ExistingFileCannotBeCreatedByHolder) {
  test::ScratchDir dir;
  const std::string path = dir / "x.blk";
  test::WriteFile(path, "");
  Holder holder("create", path);
  EXPECT_EQ(holder.Line(), "error 80");
}

TEST(ExclusiveHandleProcess, ExclusiveHolderRefusedWhileWeHoldIt) {
  test::ScratchDir dir;
  const std::string path = dir / "x.blk";
  FileHandle ours = Exclusive(path, Disposition::CreateNew);
  ASSERT_TRUE(ours.IsOpen());
  Holder creator("create", path);
  EXPECT_EQ(creator.Line(), "error 80");
  Holder opener("exclusive", path);
  EXPECT_EQ(opener.Line(), "error 32");
  Holder reader("shared", path);
  EXPECT_EQ(reader.Line(), "error 32");
}

TEST(ExclusiveHandleProcess, SharedReaderElsewhereBlocksExclusiveOpen) {
  test::ScratchDir dir;
  const std::string path = dir / "data.txt";
  test::WriteFile(path, "content");
  Holder reader("shared", path);
  ASSERT_EQ(reader.Line(), "ok");

  EXPECT_FALSE(Exclusive(path).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  // Readers share with readers.
  EXPECT_TRUE(Shared(path).IsOpen());

  reader.Kill();
  EXPECT_TRUE(Exclusive(path).IsOpen());
  EXPECT_EQ(test::ReadFile(path), "content");
}

TEST(ExclusiveHandleProcess, ExclusiveHolderElsewhereBlocksSharedOpen) {
  test::ScratchDir dir;
  const std::string path = dir / "data.txt";
  test::WriteFile(path, "content");
  Holder holder("exclusive", path);
  ASSERT_EQ(holder.Line(), "ok");

  EXPECT_FALSE(Shared(path).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);

  holder.Kill();
  EXPECT_TRUE(Shared(path).IsOpen());
  EXPECT_EQ(test::ReadFile(path), "content");
}

TEST(ExclusiveHandleProcess, RacingCreatorsHaveExactlyOneWinner) {
  test::ScratchDir dir;
  const std::string path = dir / "_index.blk";
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Holder first("create", path, true);
    Holder second("create", path, true);
    ASSERT_TRUE(first.Send("go"));
    ASSERT_TRUE(second.Send("go"));
    const std::string a = first.Line();
    const std::string b = second.Line();
    const int winners = (a == "ok") + (b == "ok");
    ASSERT_EQ(winners, 1) << a << " / " << b;
    EXPECT_EQ(a == "ok" ? b : a, "error 80");
    first.Kill();
    second.Kill();
    ASSERT_TRUE(DeleteFile(path)) << "last error " << GetLastError();
  }
  // The losers left no temporary files behind.
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) left.push_back(entry.path().filename());
  EXPECT_TRUE(left.empty()) << left.front();
}

}  // namespace
}  // namespace tw::platform
