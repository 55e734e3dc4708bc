// Exclusive handles between two hosts: two FUSE mounts of one GlusterFS volume,
// made by scripts/gluster-up.sh, which prints the TW_TEST_GLUSTER_MOUNTS line read here.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "support/file_handles.h"
#include "support/holder_process.h"

namespace tw::platform {
namespace {

using Holder = test::HolderProcess;

// A killed holder's lock on a FUSE mount goes a moment after the process (when
// the file's release arrives): wait with a blocking lock, bounded by an alarm.
::testing::AssertionResult WaitUntilUnlocked(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ::testing::AssertionFailure() << "cannot open " << path;
  struct sigaction action {}, previous {};
  action.sa_handler = [](int) {};  // no SA_RESTART: the alarm ends the wait
  sigaction(SIGALRM, &action, &previous);
  alarm(60);
  const int rc = flock(fd, LOCK_EX);
  alarm(0);
  sigaction(SIGALRM, &previous, nullptr);
  close(fd);
  if (rc != 0) return ::testing::AssertionFailure() << path << " is still locked after its holder died";
  return ::testing::AssertionSuccess();
}

using test::Exclusive;
using test::FailureOf;
using test::Shared;

// A fresh directory on the volume, seen through both mounts.
class GlusterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* value = getenv("TW_TEST_GLUSTER_MOUNTS");
    const std::string mounts = value ? value : "";
    const size_t colon = mounts.find(':');
    if (colon == std::string::npos)
      GTEST_SKIP() << "TW_TEST_GLUSTER_MOUNTS is not set: run scripts/gluster-up.sh and export what it prints";
    first_ = mounts.substr(0, colon) + "/twtest-XXXXXX";
    ASSERT_NE(mkdtemp(first_.data()), nullptr) << "cannot make a directory like " << first_;
    second_ = mounts.substr(colon + 1) + "/" + std::filesystem::path(first_).filename().string();
    ASSERT_TRUE(std::filesystem::is_directory(second_)) << second_ << " does not show what " << first_ << " holds";
  }
  void TearDown() override {
    std::error_code ignored;
    if (!first_.empty()) std::filesystem::remove_all(first_, ignored);
  }
  std::string OnFirst(const std::string& file) const { return first_ + "/" + file; }
  std::string OnSecond(const std::string& file) const { return second_ + "/" + file; }

  std::string first_;
  std::string second_;
};

TEST_F(GlusterTest, HolderOnOneHostBlocksTheOtherUntilKilled) {
  for (const std::string mode : {"create", "readshare", "shared"}) {
    SCOPED_TRACE(mode);
    const bool exclusive = mode == "create";
    const bool creates = mode != "shared";
    const std::string here = OnFirst(mode), there = OnSecond(mode);
    ASSERT_TRUE(creates || Exclusive(here, Disposition::CreateNew).IsOpen());  // a reader needs a file
    Holder holder(mode, here);
    ASSERT_EQ(holder.Line(), "ok");
    EXPECT_EQ(FailureOf(Exclusive(there, Disposition::CreateNew)), kErrorFileExists);
    EXPECT_EQ(FailureOf(Exclusive(there)), kErrorSharingViolation);
    EXPECT_EQ(FailureOf(Shared(there)), exclusive ? kErrorSharingViolation : 0u);  // readers share with readers
    if (creates) { EXPECT_EQ(DeleteFile(there) ? 0u : GetLastError(), kErrorSharingViolation); }
    if (mode == "readshare") {
      EXPECT_EQ(FailureOf(OpenFile(there, Access::Write, Share::All, Disposition::OpenExisting)),
                kErrorSharingViolation);
    }
    holder.Kill();
    ASSERT_TRUE(WaitUntilUnlocked(there));
    EXPECT_TRUE(DeleteFile(there)) << "last error " << GetLastError();  // the file stayed, now free
    if (exclusive) { EXPECT_FALSE(std::filesystem::exists(here)); }  // a mount that looked it up caches it ~1s
    EXPECT_EQ(FailureOf(Exclusive(there, Disposition::CreateNew)), 0u);
  }
}

TEST_F(GlusterTest, CreatorsOnBothHostsHaveOneWinner) {
  for (int round = 0; round < 10; ++round) {
    Holder first("create", OnFirst("_index.blk"));
    FileHandle second = Exclusive(OnSecond("_index.blk"), Disposition::CreateNew);
    const std::string mine = second.IsOpen() ? "ok" : "error " + std::to_string(GetLastError());
    const std::string results = mine + " / " + first.Line();
    ASSERT_TRUE(results == "ok / error 80" || results == "error 80 / ok") << "round " << round << ": " << results;
    first.Kill();
    second.Close();
    ASSERT_TRUE(WaitUntilUnlocked(OnSecond("_index.blk")));
    ASSERT_TRUE(DeleteFile(OnSecond("_index.blk"))) << GetLastError();
  }
  EXPECT_TRUE(std::filesystem::is_empty(second_));  // no temporary file left on the volume
}

}  // namespace
}  // namespace tw::platform
