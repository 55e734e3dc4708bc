// Taking the store owner's identity: the umask a store's mode asks for, the
// no-op for anyone but root, and (run as root) files made afterwards
// belonging to the store's owner.
#include "platform/store_owner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "support/test_support.h"

namespace tw::platform {
namespace {

TEST(StoreOwner, TheUmaskMasksWhatTheStoreDirectoryDoesNotGrant) {
  EXPECT_EQ(UmaskForStoreMode(0770), 0007u) << "a group-shared store gets group-writable files";
  EXPECT_EQ(UmaskForStoreMode(0755), 0022u);
  EXPECT_EQ(UmaskForStoreMode(0700), 0077u);
  EXPECT_EQ(UmaskForStoreMode(0750), 0027u);
  EXPECT_EQ(UmaskForStoreMode(0777), 0000u);
  EXPECT_EQ(UmaskForStoreMode(040000 | 02770), 0007u) << "type, setgid and sticky bits play no part";
  EXPECT_EQ(UmaskForStoreMode(01777), 0000u);
}

// Not root, or root on a store root owns: nothing about the process changes.
TEST(StoreOwner, ANoOpUnlessRootOnAStoreSomeoneElseOwns) {
  test::ScratchDir dir;
  const uid_t user = ::geteuid();
  const gid_t group = ::getegid();
  const mode_t before = ::umask(0022);
  std::string why;
  const StoreOwnerOutcome outcome = TakeStoreOwner(dir.path(), why);
  EXPECT_EQ(outcome, user == 0 ? StoreOwnerOutcome::kRootOwned : StoreOwnerOutcome::kNotRoot);
  EXPECT_EQ(why, "");
  EXPECT_EQ(::geteuid(), user);
  EXPECT_EQ(::getegid(), group);
  EXPECT_EQ(::umask(before), 0022u) << "umask untouched";
  if (user == 0) {
    EXPECT_EQ(TakeStoreOwner(dir / "missing", why), StoreOwnerOutcome::kNoRoot);
  }
}

// The switch lasts for the process, so it is made in a child.
TEST(StoreOwner, AsRootFilesMadeAfterwardsBelongToTheStoreOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  constexpr uid_t kNobody = 65534;
  constexpr gid_t kNogroup = 65534;
  test::ScratchDir dir;
  const std::string root = dir / "POSTOFFICES";
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(root.c_str(), 0700), 0);
  ASSERT_EQ(::chown(root.c_str(), kNobody, kNogroup), 0);
  ASSERT_EQ(::chmod(root.c_str(), 0770), 0);
  ASSERT_EQ(::mkdir((dir / "private").c_str(), 0700), 0);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string why;
    if (TakeStoreOwner(root, why) != StoreOwnerOutcome::kTaken) ::_exit(10);
    if (::geteuid() != kNobody || ::getegid() != kNogroup || ::getuid() != 0) ::_exit(11);
    if (::getgroups(0, nullptr) != 1) ::_exit(12);
    std::ofstream(root + "/file") << "x";
    if (::mkdir((root + "/dir").c_str(), 0777) != 0) ::_exit(13);
    // Root's own directories are out of reach now.
    if (::mkdir((dir / "private/x").c_str(), 0700) == 0) ::_exit(14);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  struct stat file {}, made {};
  ASSERT_EQ(::stat((root + "/file").c_str(), &file), 0);
  EXPECT_EQ(file.st_uid, kNobody);
  EXPECT_EQ(file.st_gid, kNogroup);
  EXPECT_EQ(file.st_mode & 0777, 0660u);
  ASSERT_EQ(::stat((root + "/dir").c_str(), &made), 0);
  EXPECT_EQ(made.st_uid, kNobody);
  EXPECT_EQ(made.st_mode & 0777, 0770u);
}

}  // namespace
}  // namespace tw::platform
