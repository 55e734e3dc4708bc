// Exclusive handles between processes: a holder in another process keeps
// others from creating, opening and deleting its file; when it dies (killed
// or not) the file stays and becomes deletable.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "support/file_handles.h"
#include "support/holder_process.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using Holder = test::HolderProcess;

using test::Exclusive;
using test::FailureOf;
using test::Shared;

TEST(ExclusiveHandleProcess, HolderBlocksEveryoneAndLeavesADeletableFileHoweverItEnds) {
  for (const std::string ending : {"kill", "exit", "close"}) {
    SCOPED_TRACE(ending);
    test::ScratchDir dir;
    const std::string path = dir / "x.blk";
    Holder holder("create", path);
    ASSERT_EQ(holder.Line(), "ok");
    EXPECT_EQ(FailureOf(Exclusive(path, Disposition::CreateNew)), kErrorFileExists);
    EXPECT_EQ(FailureOf(Exclusive(path)), kErrorSharingViolation);
    EXPECT_EQ(FailureOf(Shared(path)), kErrorSharingViolation);
    EXPECT_FALSE(DeleteFile(path));
    EXPECT_EQ(GetLastError(), kErrorSharingViolation);
    EXPECT_TRUE(test::PathExists(path));

    if (ending == "kill") {
      holder.Kill();
    } else if (ending == "exit") {  // ends without closing
      ASSERT_TRUE(holder.Send("exit"));
      const int status = holder.Reap();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    } else {  // lives on without the file
      ASSERT_TRUE(holder.Send("close"));
      ASSERT_EQ(holder.Line(), "closed");
    }
    EXPECT_TRUE(test::PathExists(path));
    EXPECT_TRUE(DeleteFile(path)) << "last error " << GetLastError();
    EXPECT_FALSE(test::PathExists(path));
    EXPECT_EQ(FailureOf(Exclusive(path, Disposition::CreateNew)), 0u);
  }
}

TEST(ExclusiveHandleProcess, HolderIsRefusedAFileThatExistsOrThatWeHold) {
  test::ScratchDir dir;
  test::WriteFile(dir / "plain", "");
  EXPECT_EQ(Holder("create", dir / "plain").Line(), "error 80");
  FileHandle ours = Exclusive(dir / "x.blk", Disposition::CreateNew);
  ASSERT_TRUE(ours.IsOpen());
  for (const auto& [mode, line] : {std::pair<std::string, std::string>{"create", "error 80"},
                                   {"exclusive", "error 32"}, {"shared", "error 32"}})
    EXPECT_EQ(Holder(mode, dir / "x.blk").Line(), line) << mode;
}

TEST(ExclusiveHandleProcess, SharedHolderAdmitsReadersExclusiveHolderAdmitsNobody) {
  test::ScratchDir dir;
  const std::string path = dir / "data.txt";
  test::WriteFile(path, "content");
  Holder reader("shared", path);
  ASSERT_EQ(reader.Line(), "ok");
  EXPECT_EQ(FailureOf(Exclusive(path)), kErrorSharingViolation);
  EXPECT_EQ(FailureOf(Shared(path)), 0u);
  reader.Kill();
  EXPECT_EQ(FailureOf(Exclusive(path)), 0u);

  Holder holder("exclusive", path);
  ASSERT_EQ(holder.Line(), "ok");
  EXPECT_EQ(FailureOf(Shared(path)), kErrorSharingViolation);
  holder.Kill();
  EXPECT_EQ(FailureOf(Shared(path)), 0u);
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
    ASSERT_EQ((a == "ok") + (b == "ok"), 1) << a << " / " << b;
    EXPECT_EQ(a == "ok" ? b : a, "error 80");
    first.Kill();
    second.Kill();
    ASSERT_TRUE(DeleteFile(path)) << "last error " << GetLastError();
  }
  // The losers left no temporary files behind.
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace tw::platform
