// The whole way of a forwarded folder call: `twstore --host` (and the C
// example under "ForceDefaultHost") in processes of their own, with their own
// registry, user file and store, against `twadmind serve` on a loopback port
// with another store. The changes must land in the service's store only.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/password_hash.h"
#include "admin_service/running_service.h"
#include "support/store_fixture.h"
#include "support/twstore_run.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr const char* kAdministration =
    "[HKEY_CURRENT_USER\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Administration";

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

// Every file and directory below `root`, relative, with its size: what a
// "store untouched" check compares.
std::vector<std::string> TreeOf(const std::string& root) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    entries.push_back(relative + (entry.is_regular_file() ? " " + std::to_string(entry.file_size()) : "/"));
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::string HostKey(const std::string& name, const std::string& body) {
  return std::string(kAdministration) + "\\Hosts\\" + name + "]\r\n" + body + "\r\n";
}

class RemoteEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    test::MakeDirs(ServiceBox() + "/Inbox");
    test::MakeDirs(ClientBox() + "/Inbox");
    test::MakeDirs(ClientBox() + "/LocalOnly");
    test::WriteFile(ClientBox() + "/Inbox/keep.txt", "the client's own file\n");
    users_ = service_.dir() / "users";
    test::WriteFile(users_, "admin:" + platform::HashSecret("right secret") + "\n");
    fs::permissions(users_, fs::perms::owner_read | fs::perms::owner_write);
    if (geteuid() == 0) HandTheServiceStoreToNobody();
    StartService();
    WriteClientSettings("admin:right secret", fs::perms::owner_read | fs::perms::owner_write);
    clientBefore_ = TreeOf(client_.root());
  }
  void TearDown() override { running_.Stop(); }

  // Run as root, the service takes the mail root's owner: its store is
  // nobody's then, and its scratch and registry directories open to it.
  void HandTheServiceStoreToNobody() {
    const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(service_.dir().path(), open);
    const fs::path registry = service_.registry().path();
    fs::permissions(registry.parent_path(), open);
    fs::permissions(registry, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    for (const auto& entry : fs::recursive_directory_iterator(service_.root()))
      ASSERT_EQ(chown(entry.path().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(service_.root().c_str(), kNobody, kNobody), 0);
  }

  void StartService() {
    running_.Start(service_.registry().path(), users_, service_.dir() / "errors");
    port_ = running_.port();
  }
  std::string ServiceErrors() { return test::ReadFile(service_.dir() / "errors"); }

  // The client's registry names the hosts "svc" and "Default" at
  // "localhost" (the host *name* 127.0.0.1 would run here); their
  // credentials are in the client's own user file, with `mode`.
  void WriteClientSettings(const std::string& credentials, fs::perms mode) {
    const std::string place = test::StringValue("Address", "localhost") + test::DwordValue("Port", port_);
    client_.Use("\r\n" + std::string(kAdministration) + "]\r\n" + test::DwordValue("ForceDefaultHost", 0) + "\r\n" +
                HostKey("svc", place) + HostKey("Default", place));
    const fs::path userFile = fs::path(Home()) / ".config/tarnwick/user.reg";
    fs::create_directories(userFile.parent_path());
    test::WriteFile(userFile, "REGEDIT4\r\n\r\n" +
                                  HostKey("svc", test::StringValue("Credentials", credentials)) +
                                  HostKey("Default", test::StringValue("Credentials", credentials)));
    fs::permissions(userFile, mode);
  }
  std::string Home() const { return client_.dir() / "home"; }

  // A program run as a client: its own registry and home, nothing inherited
  // that would point it elsewhere.
  test::CliRun RunClient(const std::string& program, const std::string& args) {
    test::ScratchDir errors;
    test::CliRun run = test::RunCommand("env -u TW_USER_REGISTRY_FILE HOME='" + Home() + "' TW_REGISTRY_FILE='" +
                                        client_.registry().path() + "' timeout 60 '" TW_TEST_BIN_DIR
                                        "/" + program + "' " + args + " 2>'" + (errors / "errors") + "'");
    run.errors = test::ReadFile(errors / "errors");
    return run;
  }
  test::CliRun Twstore(const std::string& args) {
    return RunClient("twstore", "--host svc " + args + " --postoffice Demo --mailbox alice");
  }

  std::string ServiceBox() const { return service_.root() + "/Demo/MAILROOT/alice"; }
  std::string ClientBox() const { return client_.root() + "/Demo/MAILROOT/alice"; }
  void ExpectClientStoreUntouched() { EXPECT_EQ(TreeOf(client_.root()), clientBefore_); }

  test::MailRoot service_{"", "/POSTOFFICES"};
  test::MailRoot client_{"", "/POSTOFFICES"};
  std::string users_;
  test::RunningService running_;
  unsigned port_ = 0;
  std::vector<std::string> clientBefore_;
};

TEST_F(RemoteEndToEnd, FolderCommandsChangeTheServicesStoreOnly) {
  test::CliRun run = Twstore("mkdir --folder Archive --json");
  EXPECT_EQ(ExitCode(run.status), 0) << run.errors << ServiceErrors();
  EXPECT_EQ(run.output,
            "{\"command\":\"mkdir\",\"postoffice\":\"Demo\",\"mailbox\":\"alice\",\"folder\":\"\\\\Archive\","
            "\"done\":true}\n");
  EXPECT_TRUE(fs::is_directory(ServiceBox() + "/Archive"));

  run = Twstore("mkdir --folder 'Inbox\\Work'");
  EXPECT_EQ(ExitCode(run.status), 0) << run.errors;
  EXPECT_EQ(run.output, "created folder \\Inbox\\Work\n");
  EXPECT_TRUE(fs::is_directory(ServiceBox() + "/Inbox/Work"));

  run = Twstore("rename --folder 'Inbox\\Work' --to 'Archive\\Work'");
  EXPECT_EQ(ExitCode(run.status), 0) << run.errors;
  EXPECT_FALSE(fs::exists(ServiceBox() + "/Inbox/Work"));
  EXPECT_TRUE(fs::is_directory(ServiceBox() + "/Archive/Work"));

  run = Twstore("copy --folder Archive --to Copied");
  EXPECT_EQ(ExitCode(run.status), 0) << run.errors;
  EXPECT_TRUE(fs::is_directory(ServiceBox() + "/Copied/Work"));
  EXPECT_TRUE(fs::is_directory(ServiceBox() + "/Archive/Work")) << "a copy keeps its source";

  run = Twstore("rmdir --folder Copied --yes");
  EXPECT_EQ(ExitCode(run.status), 0) << run.errors;
  EXPECT_FALSE(fs::exists(ServiceBox() + "/Copied"));

  // The remote store refuses: exit 1, and no local guess at the reason.
  run = Twstore("mkdir --folder Archive");
  EXPECT_EQ(ExitCode(run.status), 1);
  EXPECT_NE(run.errors.find("the remote store did not create folder"), std::string::npos) << run.errors;
  run = Twstore("rmdir --folder LocalOnly --yes");
  EXPECT_EQ(ExitCode(run.status), 1) << "the folder exists here, not there";

  ExpectClientStoreUntouched();
}

TEST_F(RemoteEndToEnd, FindAndGetRunThereUnderForceDefaultHost) {
  ASSERT_EQ(ExitCode(Twstore("mkdir --folder Archive").status), 0);
  // The C example names no host: "ForceDefaultHost" sends its calls to
  // "Default", which is the service too.
  const std::string off = test::DwordValue("ForceDefaultHost", 0);
  std::string registry = test::ReadFile(client_.registry().path());
  registry.replace(registry.find(off), off.size(), test::DwordValue("ForceDefaultHost", 1));
  test::WriteFile(client_.registry().path(), registry);

  const test::CliRun run = RunClient("list_inbox_example", "Demo alice");
  EXPECT_EQ(ExitCode(run.status), 0) << run.errors << ServiceErrors();
  std::vector<std::string> names;
  for (const std::string& line : test::Lines(run.output)) names.push_back(line.substr(line.find('\t') + 1));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Archive", "Inbox", "total"})) << run.output;
  ExpectClientStoreUntouched();
}

TEST_F(RemoteEndToEnd, RefusedWaysChangeNothing) {
  // Credentials in a user file others can read are ignored: AUTH fails.
  WriteClientSettings("admin:right secret",
                      fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  test::CliRun run = Twstore("mkdir --folder Open");
  EXPECT_EQ(ExitCode(run.status), 1);
  EXPECT_NE(run.errors.find("cannot be reached or refuses the credentials"), std::string::npos) << run.errors;

  WriteClientSettings("admin:wrong secret", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ExitCode(Twstore("mkdir --folder Wrong").status), 1);
  run = RunClient("twstore", "--host nowhere mkdir --folder Nowhere --postoffice Demo --mailbox alice");
  EXPECT_EQ(ExitCode(run.status), 1) << "a host without a key has no Address";
  for (const char* name : {"Open", "Wrong", "Nowhere"}) {
    EXPECT_FALSE(fs::exists(ServiceBox() + "/" + name)) << name;
  }
  EXPECT_NE(ServiceErrors().find("failed AUTH for \"admin\""), std::string::npos) << ServiceErrors();

  // Only the folder-change commands go remote; the rest refuse --host.
  run = RunClient("twstore", "--host svc folders --postoffice Demo --mailbox alice");
  EXPECT_EQ(ExitCode(run.status), 2);
  EXPECT_NE(run.errors.find("mkdir, rename, copy and rmdir only"), std::string::npos) << run.errors;
  ExpectClientStoreUntouched();
}

TEST_F(RemoteEndToEnd, TheHostName127001RunsHere) {
  const test::CliRun run =
      RunClient("twstore", "--host 127.0.0.1 mkdir --folder Here --postoffice Demo --mailbox alice");
  EXPECT_EQ(ExitCode(run.status), 0) << run.errors;
  EXPECT_TRUE(fs::is_directory(ClientBox() + "/Here"));
  EXPECT_FALSE(fs::exists(ServiceBox() + "/Here"));
}

}  // namespace
}  // namespace tw
