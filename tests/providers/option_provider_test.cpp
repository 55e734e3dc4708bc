#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <limits>
#include <thread>

#include "frame/providers.h"
#include "frame/settings.h"
#include "frame/store_paths.h"
#include "option/option_store.h"
#include "support/store_fixture.h"

namespace tw {
namespace {

class OptionProvider : public ::testing::Test {
 protected:
  void SetUp() override { UnloadProviders(); }
  void TearDown() override { UnloadProviders(); }
  void Use(const std::string& extra) {
    UnloadProviders();
    mail_.Use(extra);
  }
  std::vector<std::string> FilesUnder(const std::string& dir) {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::recursive_directory_iterator(dir))
      if (e.is_regular_file()) out.push_back(std::filesystem::relative(e.path(), dir).string());
    std::sort(out.begin(), out.end());
    return out;
  }

  test::MailRoot mail_{"", "/POSTOFFICES"};
  const test::ScratchDir& dir_ = mail_.dir();
  std::string root_ = mail_.root();
};

TEST_F(OptionProvider, PostofficeAndMailboxOptionsRoundTrip) {
  ASSERT_TRUE(EnsureOptionProvider());
  ASSERT_TRUE(SetStoreOption(kOptionScopePostoffice, "PO", "Postoffice-UsageMB", "42"));
  ASSERT_TRUE(SetStoreOption(kOptionScopeMailbox, MailboxOptionObject("PO", "bob"), "TimeZone", "Europe/Berlin"));
  ASSERT_TRUE(SetStoreOption(kOptionScopeMailbox, "PO/bob", "Note", "two\nlines\\and a slash"));

  std::string value;
  EXPECT_EQ(GetStoreOption(kOptionScopePostoffice, "PO", "postoffice-usagemb", value), 1u);
  EXPECT_EQ(value, "42");
  EXPECT_EQ(GetStoreOption(kOptionScopeMailbox, "PO/bob", "TimeZone", value), 1u);
  EXPECT_EQ(value, "Europe/Berlin");
  EXPECT_EQ(GetStoreOption(kOptionScopeMailbox, "PO/bob", "Note", value), 1u);
  EXPECT_EQ(value, "two\nlines\\and a slash");
  EXPECT_EQ(GetStoreOption(kOptionScopeMailbox, "PO/alice", "TimeZone", value), 0u);
  EXPECT_EQ(value, "");
  EXPECT_EQ(GetStoreOption(3, "PO", "TimeZone", value), 0u);

  EXPECT_EQ(FilesUnder(root_), (std::vector<std::string>{"_options/PO.opt", "_options/PO.opt.lck",
                                                         "_options/PO/bob.opt", "_options/PO/bob.opt.lck"}));
}

TEST_F(OptionProvider, CustomPostofficeRootOnlyWhenAllowed) {
  ASSERT_TRUE(SetStoreOption(kOptionScopePostoffice, "PO", "PostofficeRoot", "/srv/elsewhere/PO"));
  EXPECT_EQ(PostofficeRoot("PO"), root_ + "\\PO");
  Use("\"Allow Custom Postoffice Paths\"=dword:00000001\r\n");
  EXPECT_EQ(PostofficeRoot("PO"), "/srv/elsewhere/PO");
  EXPECT_EQ(PostofficeRoot("OTHER"), root_ + "\\OTHER") << "no option: the standard place";
  const std::string inbox = "Inbox";
  EXPECT_EQ(FolderDirectoryViaPostofficeRoot("PO", "bob", &inbox), "/srv/elsewhere/PO\\MAILROOT\\bob\\Inbox");
  EXPECT_EQ(FolderDirectoryForIndex("PO", "bob", "Inbox"), root_ + "\\PO\\MAILROOT\\bob\\Inbox")
      << "index directories do not consult custom roots";
}

TEST_F(OptionProvider, HostileObjectsTouchNothing) {
  for (const char* object : {"..", "../x", "PO/../../etc", "PO/..", "/etc", "PO\\bob", "", "a/b/c"}) {
    SetStoreOption(kOptionScopePostoffice, object, "Name", "v");
    SetStoreOption(kOptionScopeMailbox, object, "Name", "v");
    std::string value;
    EXPECT_EQ(GetStoreOption(kOptionScopeMailbox, object, "Name", value), 0u) << object;
  }
  EXPECT_FALSE(std::filesystem::exists(root_)) << "nothing written anywhere";
  EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/x"));
}

TEST_F(OptionProvider, MissingProviderMeansEveryOptionIsAbsent) {
  test::MakeDirs(dir_.path() + "/app64");
  Use("\"Application Directory\"=\"" + dir_.path() + "/app\"\r\n\"Allow Custom Postoffice Paths\"=dword:00000001\r\n");
  EXPECT_FALSE(EnsureOptionProvider());
  std::string value;
  EXPECT_EQ(GetStoreOption(kOptionScopePostoffice, "PO", "PostofficeRoot", value), 0u);
  EXPECT_FALSE(SetStoreOption(kOptionScopePostoffice, "PO", "PostofficeRoot", "/x"));
  EXPECT_EQ(PostofficeRoot("PO"), root_ + "\\PO");
}

TEST_F(OptionProvider, LoadsFromTheApplicationDirectory) {
  test::MakeDirs(dir_.path() + "/app64");
  std::filesystem::create_symlink(TW_TEST_LIB_DIR "/libtwoption.so", dir_.path() + "/app64/libtwoption.so");
  Use("\"Application Directory\"=\"" + dir_.path() + "/app\"\r\n");
  EXPECT_TRUE(EnsureOptionProvider());
}

TEST(OptionFile, ReadsLinesWrittenOnWindows) {
  const auto options = option::ParseOptions("TimeZone=Europe/Berlin\r\nbroken line\r\n=x\r\nQuota=10\r\n");
  EXPECT_EQ(options.size(), 2u);
  EXPECT_EQ(options.at("timezone"), "Europe/Berlin");
  EXPECT_EQ(options.at("QUOTA"), "10");
}

// The writers wait for the lock as long as it takes (yielding where they would
// sleep), so a slow machine makes the test slower, never failed.
TEST_F(OptionProvider, ConcurrentWritersLoseNothing) {
  const std::string file = option::OptionFilePath(root_, 1, "PO");
  constexpr int kWriters = 4;
  constexpr int kEach = 25;
  test::FastSleep yielding([](uint64_t) { std::this_thread::yield(); });
  const int previousAttempts = option::SetWriteLockAttempts(std::numeric_limits<int>::max());
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int i = 0; i < kEach; ++i)
        ok &= option::WriteOption(file, "w" + std::to_string(w) + "-" + std::to_string(i), std::to_string(i));
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  option::SetWriteLockAttempts(previousAttempts);
  const auto options = option::ParseOptions(test::ReadFile(std::filesystem::path(root_) / "_options" / "PO.opt"));
  EXPECT_EQ(options.size(), static_cast<size_t>(kWriters * kEach));
  for (int w = 0; w < kWriters; ++w)
    for (int i = 0; i < kEach; ++i) {
      const std::string name = "w" + std::to_string(w) + "-" + std::to_string(i);
      EXPECT_EQ(options.count(name) ? options.at(name) : "missing", std::to_string(i)) << name;
    }
}

}  // namespace
}  // namespace tw
