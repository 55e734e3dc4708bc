// Exclusive handles between two hosts sharing the store on GlusterFS. Two
// FUSE mounts of one volume stand for the two hosts; scripts/gluster-up.sh
// makes them and prints the TW_TEST_GLUSTER_MOUNTS line these tests read.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
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

namespace tw::platform {
namespace {

struct Mounts {
  std::string first;
  std::string second;
};

bool ReadMounts(Mounts& mounts) {
  const char* value = getenv("TW_TEST_GLUSTER_MOUNTS");
  if (value == nullptr || *value == '\0') return false;
  const std::string text = value;
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  mounts = {text.substr(0, colon), text.substr(colon + 1)};
  return true;
}

using Holder = test::HolderProcess;

void OnAlarm(int) {}

// A killed holder's lock on a FUSE mount goes a moment after the process:
// the kernel abandons the unlock of a dying process and the file system
// drops the lock when the release of the file arrives. Wait for that with a
// blocking lock (bounded by an alarm) instead of sleeping.
::testing::AssertionResult WaitUntilUnlocked(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ::testing::AssertionFailure() << "cannot open " << path;
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = &OnAlarm;  // no SA_RESTART: the alarm ends the wait
  sigaction(SIGALRM, &action, &previous);
  alarm(60);
  const int rc = flock(fd, LOCK_EX);
  alarm(0);
  sigaction(SIGALRM, &previous, nullptr);
  close(fd);
  if (rc != 0) return ::testing::AssertionFailure() << path << " is still locked after its holder died";
  return ::testing::AssertionSuccess();
}

// A fresh directory on the volume, seen through both mounts.
class GlusterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ReadMounts(mounts_))
      GTEST_SKIP() << "TW_TEST_GLUSTER_MOUNTS is not set: run scripts/gluster-up.sh and export what it prints";
    std::string pattern = mounts_.first + "/twtest-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    ASSERT_NE(mkdtemp(buffer.data()), nullptr) << "cannot make a directory on " << mounts_.first;
    name_ = std::filesystem::path(buffer.data()).filename();
    ASSERT_TRUE(std::filesystem::is_directory(OnSecond("")))
        << mounts_.second << " does not show what " << mounts_.first << " holds";
  }
  void TearDown() override {
    if (name_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(OnFirst(""), ec);
  }
  std::string OnFirst(const std::string& file) const { return mounts_.first + "/" + name_ + "/" + file; }
  std::string OnSecond(const std::string& file) const { return mounts_.second + "/" + name_ + "/" + file; }

  Mounts mounts_;
  std::string name_;
};

TEST_F(GlusterTest, HolderOnOneHostBlocksTheOtherUntilKilled) {
  Holder holder("create", OnFirst("x.blk"));
  ASSERT_EQ(holder.Line(), "ok");
  const std::string there = OnSecond("x.blk");
  ASSERT_TRUE(std::filesystem::exists(there));

  EXPECT_FALSE(OpenFile(there, Access::ReadWrite, Share::None, Disposition::CreateNew).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorFileExists);
  EXPECT_FALSE(OpenFile(there, Access::ReadWrite, Share::None, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_FALSE(OpenFile(there, Access::Read, Share::All, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_FALSE(DeleteFile(there));
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_TRUE(std::filesystem::exists(there));

  holder.Kill();
  ASSERT_TRUE(WaitUntilUnlocked(there));
  EXPECT_TRUE(std::filesystem::exists(there));
  EXPECT_TRUE(DeleteFile(there)) << "last error " << GetLastError();
  EXPECT_FALSE(std::filesystem::exists(OnFirst("x.blk")));
  EXPECT_TRUE(OpenFile(there, Access::ReadWrite, Share::None, Disposition::CreateNew).IsOpen()) << GetLastError();
}

TEST_F(GlusterTest, SharedReaderOnOneHostBlocksExclusiveOpenOnTheOther) {
  {
    FileHandle writer = OpenFile(OnFirst("data.txt"), Access::Write, Share::None, Disposition::CreateNew);
    ASSERT_TRUE(writer.IsOpen()) << GetLastError();
    ASSERT_TRUE(writer.Write("content", 7));
  }
  Holder reader("shared", OnFirst("data.txt"));
  ASSERT_EQ(reader.Line(), "ok");
  EXPECT_FALSE(OpenFile(OnSecond("data.txt"), Access::ReadWrite, Share::None, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_TRUE(OpenFile(OnSecond("data.txt"), Access::Read, Share::All, Disposition::OpenExisting).IsOpen());
  reader.Kill();
  ASSERT_TRUE(WaitUntilUnlocked(OnSecond("data.txt")));
  EXPECT_TRUE(OpenFile(OnSecond("data.txt"), Access::ReadWrite, Share::None, Disposition::OpenExisting).IsOpen())
      << GetLastError();
}

TEST_F(GlusterTest, CreatorsOnBothHostsHaveOneWinner) {
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Holder first("create", OnFirst("_index.blk"));
    FileHandle second = OpenFile(OnSecond("_index.blk"), Access::ReadWrite, Share::None, Disposition::CreateNew);
    const uint32_t secondError = GetLastError();
    const std::string firstResult = first.Line();
    ASSERT_EQ((firstResult == "ok") + second.IsOpen(), 1) << firstResult << " / " << secondError;
    if (!second.IsOpen()) {
      EXPECT_EQ(secondError, kErrorFileExists);
    }
    if (firstResult != "ok") {
      EXPECT_EQ(firstResult, "error 80");
    }
    first.Kill();
    second.Close();
    ASSERT_TRUE(WaitUntilUnlocked(OnSecond("_index.blk")));
    ASSERT_TRUE(DeleteFile(OnSecond("_index.blk"))) << GetLastError();
  }
  // No temporary file was left on the volume.
  EXPECT_TRUE(std::filesystem::is_empty(OnSecond("")));
}

}  // namespace
}  // namespace tw::platform
