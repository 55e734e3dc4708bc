// Notifications delivered for real: libtwnotify.so over Unix and TCP
// sockets, `twstore listen` as a listening process, and the listener's own
// entry in the activity file.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame/seams.h"
#include "frame/settings.h"
#include "index/locking/block_settings.h"
#include "notify/activity_registration.h"
#include "notify/notification_library.h"
#include "notify/notify_clients.h"
#include "notify/notify_log.h"
#include "notify/notify_settings.h"
#include "platform/notify_socket.h"
#include "platform/system_info.h"
#include "support/test_support.h"
#include "support/twstore_run.h"

namespace tw {
namespace {

std::mutex g_logMutex;
std::vector<std::string> g_logs;
void CaptureLog(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_logs.push_back(text);
}

std::string Line(const std::string& server, const std::string& service, const std::string& folder = "",
                 const std::string& session = "S") {
  return server + "\t" + service + "\tX-LISTEN\t\t0\t0\t" + folder + "\t11\t" + session;
}

// Every wait of these tests, theirs and the library's, is long enough that
// only a listener that is really gone or silent fails; the listeners below
// and `twstore listen` print their ready line before they are used.
constexpr uint32_t kPatienceMs = 60000;

// Accepts connections on its own thread and answers each with `reply`. The
// socket listens before the thread starts, so a notifier's connect waits in
// its queue; each message is stored before the reply lets the notifier go.
class ThreadListener {
 public:
  ThreadListener(platform::NotifySocketServer& server, std::string reply)
      : server_(server), reply_(std::move(reply)), thread_([this] { Run(); }) {}
  ~ThreadListener() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  void Run() {
    while (!stop_) {
      platform::NotifyConnection connection = server_.Accept(20);
      std::string message;
      if (!connection.IsOpen() ||
          connection.ReadMessage(message, {65536, 1024, kPatienceMs}) != platform::FrameResult::kComplete)
        continue;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(message);
      }
      connection.Write(reply_, kPatienceMs);
    }
  }
  platform::NotifySocketServer& server_;
  std::string reply_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> messages_;
  std::thread thread_;
};

// A socket file whose listener is gone.
void MakeStaleSocket(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
}

class NotifyDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetBlockSettingsCache();
    ResetNotifySettingsCache();
    SetSettings(ReadStoreSettings());
    g_logs.clear();
    previousLog_ = SetNotifyLogSink(&CaptureLog);
    previousRemote_ = SetNotifyRemoteForTesting(nullptr);
    setenv("TW_NOTIFY_DIR", run_.c_str(), 1);
    ASSERT_TRUE(platform::EnsureNotifyRuntimeDirectory(run_));
    LoadNotificationLibrary();
    ASSERT_NE(NotifyRemoteEntry(), nullptr);
    test::MakeDirs(mailbox_);
  }
  void TearDown() override {
    SetSettings({});
    unsetenv("TW_NOTIFY_DIR");
    SetNotifyLogSink(previousLog_);
    SetNotifyRemoteForTesting(previousRemote_);
  }
  std::string Activity() const { return mailbox_ + "/_activity.tab"; }
  // The registry with more values under the Providers key.
  std::string Registry(const std::string& providerValues = "") const {
    return test::RegistryWithMailRoot(dir_ / "root") + test::RegistryKey("Providers") +
           test::DwordValue("Notify Timeout", kPatienceMs) + providerValues;
  }
  // twstore COMMAND ARGS in a child process, with this test's runtime directory.
  std::unique_ptr<test::TwstoreProcess> Twstore(const std::string& command, const std::string& args) {
    return std::make_unique<test::TwstoreProcess>(registry_.path(), command + " " + args,
                                                  "TW_NOTIFY_DIR='" + run_ + "'");
  }

  test::ScratchDir dir_;
  test::FastSleep sleep_;
  test::ScopedRegistry registry_{Registry()};
  std::string run_ = dir_ / "run";
  std::string mailbox_ = dir_ / "root/PO/MAILROOT/bob";
  NotifyLogSink previousLog_ = nullptr;
  NotifyRemoteFunction previousRemote_ = nullptr;
};

TEST_F(NotifyDelivery, ReachesLocalListenersAndDropsTheDeadOnes) {
  platform::NotifySocketServer imap, nack;
  ASSERT_TRUE(imap.ListenUnix(run_ + "/imap.sock"));
  ASSERT_TRUE(nack.ListenUnix(run_ + "/nack.sock"));
  MakeStaleSocket(run_ + "/stale.sock");
  ThreadListener accepting(imap, "OK\n");
  ThreadListener refusing(nack, "NO\n");
  test::WriteFile(Activity(), Line("", "IMAP-listen", "", "S-imap") + "\n" +
                                  Line(platform::ComputerName(), "NACK-1") + "\n" + Line("", "stale-1") + "\n" +
                                  Line("", "POP3-1"));
  NotifyClients(MailboxDirectory("PO", "bob"), "Inbox", "COMMIT", 255);
  EXPECT_EQ(accepting.Messages(), std::vector<std::string>{"[TW_NOTIFY]\t11\tS-imap\tCOMMIT\r\n\r\n"});
  EXPECT_EQ(refusing.Messages().size(), 1u);
  EXPECT_EQ(test::ReadFile(Activity()), Line("", "IMAP-listen", "", "S-imap"));
  size_t removed = 0;
  for (const std::string& text : g_logs) removed += text.rfind("Warning: Removing orphaned connection", 0) == 0;
  EXPECT_EQ(removed, 3u);
}

TEST_F(NotifyDelivery, ExchangeResults) {
  platform::NotifySocketServer silent;
  ASSERT_TRUE(silent.ListenUnix(run_ + "/silent.sock"));  // never accepts
  MakeStaleSocket(run_ + "/stale.sock");
  const platform::DeliveryTimeouts quick{50, 50, 50};
  EXPECT_EQ(platform::DeliverToUnixSocket(run_ + "/none.sock", "m", quick), 2u);
  EXPECT_EQ(platform::DeliverToUnixSocket(run_ + "/stale.sock", "m", quick), 1225u);
  EXPECT_EQ(platform::DeliverToUnixSocket(run_ + "/silent.sock", "m", quick), 1460u);
  EXPECT_EQ(platform::DeliverToUnixSocket(std::string(200, 'p'), "m", quick), 87u);
  // A second listener may not take a live socket; a stale one is replaced.
  platform::NotifySocketServer second, replacing;
  EXPECT_FALSE(second.ListenUnix(run_ + "/silent.sock"));
  EXPECT_TRUE(replacing.ListenUnix(run_ + "/stale.sock"));
  // StoreLibrary_Init and _UnInit reach the library through the seams.
  InstallNotificationSeams();
  Seams().unloadNotificationLibrary();
  EXPECT_EQ(NotifyRemoteEntry(), nullptr);
  Seams().loadNotificationLibrary();
  EXPECT_NE(NotifyRemoteEntry(), nullptr);
}

// Loaded at the store's process attach: the seams are filled before the
// library's own constructor runs. Checked in a fresh process of this
// program, where nothing has loaded the notification library yet.
TEST(NotifyLibraryAttach, TheStoreLoadsItAtProcessAttach) {
  if (std::getenv("TW_NOTIFY_ATTACH_CHILD") != nullptr) {
    ASSERT_EQ(test::ReadFile("/proc/self/maps").find("/libtwnotify.so"), std::string::npos);
    ASSERT_NE(dlopen(TW_TEST_LIB_DIR "/libtwstore.so", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE), nullptr);
    EXPECT_NE(test::ReadFile("/proc/self/maps").find("/libtwnotify.so"), std::string::npos);
    return;
  }
  const test::CliRun child = test::RunCommand("TW_NOTIFY_ATTACH_CHILD=1 TW_REGISTRY_FILE=/nonexistent " TW_TEST_BIN_DIR
                                              "/twstore_tests --gtest_filter=NotifyLibraryAttach.* 2>&1");
  EXPECT_EQ(child.status, 0) << child.output;
  EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
}

TEST_F(NotifyDelivery, ListenersEnterAndLeaveTheActivityFile) {
  NotificationEntry a, b;
  a.server = b.server = "h";
  a.service = "IMAP-listen";
  b.service = "POP-listen";
  a.verb = b.verb = "X-LISTEN";
  a.signalAddress = 1;
  b.signalAddress = 2;
  const std::string lineA = FormatActivityLine(a, true), lineB = FormatActivityLine(b, true);
  const std::string foreign(2000, 'z');
  const std::string dir = MailboxDirectory("PO", "bob");
  ASSERT_TRUE(AddActivityEntry(dir, a));
  EXPECT_EQ(test::ReadFile(Activity()), lineA);
  ASSERT_TRUE(AddActivityEntry(dir, b));
  EXPECT_EQ(test::ReadFile(Activity()), lineA + "\n" + lineB);
  test::WriteFile(Activity(), lineA + "\r\n" + foreign + "\n" + lineB);
  const struct {
    const NotificationEntry* entry;
    const char* after;  // "" when the file is gone
  } steps[] = {{&a, "F\nB"}, {&a, "F\nB"}, {&b, "F"}};
  for (const auto& s : steps) {
    ASSERT_TRUE(RemoveActivityEntry(dir, *s.entry));
    std::string expected;
    for (const char* c = s.after; *c; ++c)
      expected += *c == 'F' ? foreign : *c == 'B' ? lineB : std::string(1, *c);
    EXPECT_EQ(test::ReadFile(Activity()), expected);
  }
  test::WriteFile(Activity(), lineB);
  ASSERT_TRUE(RemoveActivityEntry(dir, b));
  EXPECT_FALSE(test::PathExists(Activity()));
  EXPECT_FALSE(test::PathExists(mailbox_ + "/_activity.blk"));
  EXPECT_FALSE(AddActivityEntry("", a));
}

TEST_F(NotifyDelivery, TwstoreListenPrintsNotificationsAndLeavesCleanly) {
  const std::string foreign = Line("other", "POP-1", "Sent");  // not interested in Inbox
  test::WriteFile(Activity(), foreign);
  const auto listener = Twstore("listen", "IMAP --postoffice PO --mailbox bob --folder Inbox --count 1");
  const std::string ready = listener->Line();
  ASSERT_EQ(ready.rfind("listening on " + run_ + "/imap.sock for " + mailbox_ + " as listen-", 0), 0u) << ready;
  const std::string pid = ready.substr(ready.rfind('-') + 1, ready.size() - ready.rfind('-') - 2);
  EXPECT_EQ(test::ReadFile(Activity()), foreign + "\n" + platform::ComputerName() +
                                            "\tIMAP-listen\tX-LISTEN\t\t0\t0\tInbox\t" + pid + "\tlisten-" + pid);

  NotifyClients(MailboxDirectory("PO", "bob"), "Inbox", "COMMIT", 255);
  EXPECT_EQ(listener->Line(), "[TW_NOTIFY]\t" + pid + "\tlisten-" + pid + "\tCOMMIT\\r\\n\\r\\n\n");
  EXPECT_EQ(listener->Close(), 0);
  EXPECT_EQ(test::ReadFile(Activity()), foreign);
}

TEST_F(NotifyDelivery, TwstoreListenIsAloneAndEndsOnSigterm) {
  const auto first = Twstore("listen", "imap --postoffice PO --mailbox bob");
  const std::string ready = first->Line();
  ASSERT_NE(ready.find("as listen-"), std::string::npos) << ready;
  const auto second = Twstore("listen", "IMAP --postoffice PO --mailbox bob");
  EXPECT_NE(second->Line().find("another listener"), std::string::npos);
  EXPECT_NE(second->Close(), 0);
  const auto refused = Twstore("listen", "IMAP --postoffice PO --mailbox ../x");
  EXPECT_NE(refused->Line().find("not allowed"), std::string::npos);
  EXPECT_NE(refused->Close(), 0);

  const pid_t pid = static_cast<pid_t>(std::atol(ready.substr(ready.rfind('-') + 1).c_str()));
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  EXPECT_EQ(first->Close(), 0);
  EXPECT_FALSE(test::PathExists(Activity()));
  EXPECT_FALSE(test::PathExists(run_ + "/imap.sock"));
}

}  // namespace
}  // namespace tw

namespace tw {
namespace {

// A listener on another server: the notification goes by TCP to that
// server's relay ("Notify Port"), which hands it to the local socket of its
// protocol and answers for it; one the relay cannot reach is pruned as a
// local one would be, and so is every one once the relay is gone.
TEST_F(NotifyDelivery, ReachesOtherServersThroughTheirRelay) {
  const auto relay = Twstore("relay", "--bind 127.0.0.1 --port 0 --count 3");
  const std::string ready = relay->Line();
  const std::string prefix = "relaying on 127.0.0.1:";
  ASSERT_EQ(ready.rfind(prefix, 0), 0u) << ready;
  const int port = std::atoi(ready.c_str() + prefix.size());
  ASSERT_GT(port, 0);
  EXPECT_EQ(ready, prefix + std::to_string(port) + " to " + run_ + "\n");
  registry_.Rewrite(Registry(test::DwordValue("Notify Port", static_cast<uint32_t>(port))));

  platform::NotifySocketServer imap;
  ASSERT_TRUE(imap.ListenUnix(run_ + "/imap.sock"));
  const std::string reached = Line("127.0.0.1", "IMAP-1", "Inbox");
  test::WriteFile(Activity(), reached + "\n" + Line("127.0.0.1", "POP3-1"));
  {
    ThreadListener listener(imap, "OK\n");
    NotifyClients(MailboxDirectory("PO", "bob"), "/INBOX", "COMMIT", 255);
    EXPECT_EQ(listener.Messages(), std::vector<std::string>{"[TW_NOTIFY]\t11\tS\tCOMMIT\r\n\r\n"});
  }
  EXPECT_EQ(test::ReadFile(Activity()), reached);
  EXPECT_EQ(relay->Line(), "imap: accepted\n");
  EXPECT_EQ(relay->Line(), "pop3: not delivered (error 2)\n");

  // Hostile input to the relay: no protocol line, or one naming no file.
  const platform::DeliveryTimeouts patient{kPatienceMs, kPatienceMs, kPatienceMs};
  EXPECT_EQ(platform::DeliverToTcp("127.0.0.1", static_cast<uint16_t>(port), "../imap", "m", patient), 13u);
  EXPECT_EQ(relay->Line(), "refused a message without a usable protocol\n");
  EXPECT_EQ(relay->Close(), 0);

  NotifyClients(MailboxDirectory("PO", "bob"), "Inbox", "COMMIT", 255);
  EXPECT_FALSE(test::PathExists(Activity()));
}

}  // namespace
}  // namespace tw
