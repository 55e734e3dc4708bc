// One notification pass over a mailbox's activity file, with NotifyRemote
// replaced: who is notified, with what, and what the file holds afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/settings.h"
#include "index/locking/block_settings.h"
#include "notify/notification_library.h"
#include "notify/notify_clients.h"
#include "notify/notify_log.h"
#include "notify/notify_settings.h"
#include "platform/system_info.h"
#include "support/test_support.h"

namespace tw {
namespace {

struct Call {
  std::string server, protocol, message;
};
std::mutex g_mutex;
std::vector<Call> g_calls;
std::vector<std::string> g_logs;
bool g_failAll = false;

// Servers named "dead..." cannot be reached.
int StubNotifyRemote(const char* server, const char* protocol, const char* message) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.push_back({server, protocol, message});
  return g_failAll || std::string(server).rfind("dead", 0) == 0 ? 1225 : 0;
}
int ThrowingNotifyRemote(const char*, const char*, const char*) { throw std::runtime_error("boom"); }
void CaptureLog(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_logs.push_back(text);
}

// One activity line; the server doubles as its name in call lists.
std::string Line(const std::string& server, const std::string& verb = "X-LISTEN", const std::string& folder = "",
                 const std::string& service = "IMAP-1", int port = 143) {
  return server + "\t" + service + "\t" + verb + "\tcd\t" + std::to_string(port) + "\t7\t" + folder + "\t11\tS-" +
         server;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
  return text;
}

class NotifyPass : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetBlockSettingsCache();
    ResetNotifySettingsCache();
    SetSettings(ReadStoreSettings());
    g_calls.clear();
    g_logs.clear();
    g_failAll = false;
    previousRemote_ = SetNotifyRemoteForTesting(&StubNotifyRemote);
    previousLog_ = SetNotifyLogSink(&CaptureLog);
  }
  void TearDown() override {
    SetSettings({});
    SetNotifyRemoteForTesting(previousRemote_);
    SetNotifyLogSink(previousLog_);
    ResetNotifySettingsCache();
  }
  std::string Activity() const { return dir_ / "_activity.tab"; }
  std::string Called() const {
    std::string names;
    for (const Call& c : g_calls) names += c.server + " ";
    return names;
  }

  test::ScratchDir dir_;
  test::FastSleep sleep_;
  test::ScopedRegistry registry_{
      test::RegistryWithMailRoot(dir_ / "root", test::DwordValue("Mailbox Search Indexing Enabled", 1))};
  NotifyRemoteFunction previousRemote_ = nullptr;
  NotifyLogSink previousLog_ = nullptr;
};

TEST_F(NotifyPass, RewritesOnlyWhenAListenerWasDropped) {
  const struct {
    const char* name;
    std::vector<std::string> lines;
    const char* called;
    bool fileLeft;
    std::vector<std::string> after;  // when left and rewritten
  } cases[] = {
      // Odd spellings ("007", CR LF) prove the file is left, not rewritten.
      {"all reached", {Line("a") + "\r", "b\tPOP-2\tX-LISTEN\t\t007\t0\t\t1\ts"}, "a b ", true, {}},
      {"only listener fails", {Line("dead1")}, "dead1 ", false, {}},
      {"mixed keeps the notification order",
       {Line("l1"), Line("n1", "NOTE"), Line("dead2"), Line("n2", "X-OTHER"), Line("l3")},
       "n2 n1 l1 dead2 l3 ",
       true,
       {Line("n2", "X-OTHER"), Line("n1", "NOTE"), Line("l1"), Line("l3")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_calls.clear();
    g_logs.clear();
    const std::string before = Join(c.lines);
    test::WriteFile(Activity(), before);
    NotifyClients(dir_.path(), "Inbox", "COMMIT", 255);
    EXPECT_EQ(Called(), c.called);
    EXPECT_EQ(test::PathExists(Activity()), c.fileLeft);
    if (c.fileLeft) {
      EXPECT_EQ(test::ReadFile(Activity()), c.after.empty() ? before : Join(c.after));
    }
    EXPECT_FALSE(test::PathExists(dir_ / "_activity.tmp"));
    EXPECT_FALSE(test::PathExists(dir_ / "_activity.blk"));
  }
  EXPECT_EQ(g_logs, (std::vector<std::string>{
                        "Warning: NotifyRemote function failed. Unable to notify server (dead2) from server ( ) with "
                        "protocol (IMAP) from protocol ()\n",
                        "Warning: Removing orphaned connection from activity connection file. Server=dead2, "
                        "Port=143\n"}));
}

TEST_F(NotifyPass, NotifiesListenersOfTheChangedFolder) {
  const struct {
    const char* listening;
    const char* changed;
    bool notified;
  } cases[] = {{"/Inbox", "Inbox", true}, {"/Inbox", "\\inbox", true}, {"", "Sent", true},
               {"Inbox", "", true},       {"Inbox", "Sent", false},    {"Inbox/Work", "Inbox", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.listening) + " / " + c.changed);
    g_calls.clear();
    // A listener that is not interested stays, reachable or not.
    const std::string before = Line("deadhost", "X-LISTEN", c.listening);
    test::WriteFile(Activity(), before);
    NotifyClients(dir_.path(), c.changed, "COMMIT", 255);
    EXPECT_EQ(g_calls.size(), c.notified ? 1u : 0u);
    EXPECT_EQ(test::PathExists(Activity()), !c.notified);
  }
}

TEST_F(NotifyPass, SkipsTheNotifiersOwnProtocolOnThisServer) {
  g_failAll = true;
  const std::string host = platform::ComputerName();
  std::string upper = host;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  const std::vector<std::string> own = {Line(""), Line(upper, "X-LISTEN", "", "imap-7")};
  test::WriteFile(Activity(), Join({own[0], own[1], Line("remote"), Line("", "X-LISTEN", "", "POP-1")}));
  BlockFileLock lock;
  NotifyClients_Ex(lock, dir_.path(), "IMAP-server", "Inbox", "COMMIT", 255);
  EXPECT_EQ(lock.Release(), BlockFileLock::kFree);
  EXPECT_EQ(Called(), "remote  ");  // the remote IMAP and the local POP listener
  EXPECT_EQ(test::ReadFile(Activity()), Join(own));
}

TEST_F(NotifyPass, SendsTheMessageForTheGivenLength) {
  const struct {
    const char* data;
    int32_t length;
    const char* message;
  } cases[] = {{"COMMIT", 255, "[TW_NOTIFY]\t11\tS-a\tCOMMIT\r\n\r\n"},
               {"COMMIT", -1, "[TW_NOTIFY]\t11\tS-a\tCOMMIT\r\n\r\n"},
               {"COMMIT\r\n\r\n", 1023, "[TW_NOTIFY]\t11\tS-a\tCOMMIT\r\n\r\n"},
               {"COMMIT", 3, "[TW_NOTIFY]\t11\tS-a\tCOM\r\n\r\n"},
               {"", 255, nullptr},
               {"COMMIT", 0, nullptr}};
  for (const auto& c : cases) {
    g_calls.clear();
    test::WriteFile(Activity(), Line("a", "X-LISTEN", "", "Imap4-x"));
    NotifyClients(dir_.path(), "Inbox", c.data, c.length);
    ASSERT_EQ(g_calls.size(), c.message ? 1u : 0u) << c.data << " " << c.length;
    if (c.message) {
      EXPECT_EQ(g_calls[0].message, c.message);
      EXPECT_EQ(g_calls[0].protocol, "Imap4");
      EXPECT_EQ(g_calls[0].server, "a");
    }
  }
}

TEST_F(NotifyPass, LengthZeroLeavesTheBlockFileAlone) {
  test::WriteFile(dir_ / "_activity.blk", "someone else's");
  test::WriteFile(Activity(), Line("dead"));
  NotifyClients(dir_.path(), "Inbox", "COMMIT", 0);
  EXPECT_EQ(test::ReadFile(dir_ / "_activity.blk"), "someone else's");
  EXPECT_EQ(test::ReadFile(Activity()), Line("dead"));
  EXPECT_EQ(test::FastSleep::Calls(), 0u);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(NotifyPass, HostileFilesPassWithoutHarm) {
  const std::string file = "\t\t\t\t\t\t\t\t\t\t\t\n" + std::string(2000, '\t') + "\nx\n-\t-\t-\t-\t-\t-\t-\t-\t-\n" +
                           std::string(5000, 'y') + "\n\r\n" + std::string("a\0b", 3) + "\t\xff\xfe";
  test::WriteFile(Activity(), file);
  NotifyClients(dir_.path(), "Inbox", "COMMIT", 255);
  EXPECT_EQ(test::ReadFile(Activity()), file);
  NotifyClients("", "Inbox", "COMMIT", 255);  // a refused mailbox: nothing at the root
  EXPECT_EQ(MailboxDirectory("PO", "../x"), "");
  EXPECT_EQ(MailboxDirectory("PO", "bob"), dir_.path() + "/root\\PO\\MAILROOT\\bob");
}

TEST_F(NotifyPass, ReportsWhatCannotBeDone) {
  test::WriteFile(Activity(), Line("a"));
  {
    // No notification library: the listener is kept.
    SetNotifyRemoteForTesting(nullptr);
    UnloadNotificationLibrary();
    test::CapturedEvents events;
    NotifyClients(dir_.path(), "Inbox", "COMMIT", 255);
    ASSERT_EQ(events.entries().size(), 1u);
    EXPECT_EQ(events.entries()[0].text2,
              "Warning: Cluster Notification Generated, but could not be sent because NotifyRemote function could "
              "not be found. RPC notifications cannot be processed\n");
    EXPECT_EQ(test::ReadFile(Activity()), Line("a"));
  }
  {
    SetNotifyRemoteForTesting(&ThrowingNotifyRemote);
    test::CapturedEvents events;
    EXPECT_THROW(NotifyClients(dir_.path(), "Inbox", "COMMIT", 255), std::runtime_error);
    std::string reports;
    for (const auto& e : events.entries()) reports += e.text2.substr(0, e.text2.find('\n') + 1);
    EXPECT_EQ(reports,
              "NotifyByRPC handled an exception; session will be dropped.\n"
              "NotificationEntry::PerformNotification handled an exception; session will be dropped.\n"
              "NotifyClients handled an exception; session will be dropped.\n");
    EXPECT_NE(events.entries()[0].text2.find("The exception was: boom\nThe exception occurred in : "
                                             "..\\services\\Library\\LIBAppNotifyClient, line "),
              std::string::npos);
    EXPECT_FALSE(test::PathExists(dir_ / "_activity.blk"));
  }
  {
    SetNotifyRemoteForTesting(&StubNotifyRemote);
    std::remove((dir_ / "_activity.tmp").c_str());  // left by the exception
    test::MakeDirs(dir_ / "_activity.tmp");  // cannot be opened for writing
    testing::internal::CaptureStdout();
    NotifyClients(dir_.path(), "Inbox", "COMMIT", 255);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "problem with outfile\n");
    EXPECT_TRUE(g_calls.empty());
  }
}

TEST_F(NotifyPass, JournalsChangesForTheSearchIndex) {
  const std::string index = dir_ / "root/PO/INDEXROOT/bob";
  test::MakeDirs(index);
  const struct {
    const char* data;
    const char* journal;
    bool dirty;
  } cases[] = {
      {"ADD\t\tPO\tbob\tInbox\t\tm1.eml\r\nm2.eml\r\n\r\n", "Add\t\\Inbox\tm1.eml\nAdd\t\\Inbox\tm2.eml\n", false},
      {"del\t\tPO\tbob\t\\Sent\t\tm3.eml\r\n\r\n", "Delete\t\\Sent\tm3.eml\n", false},
      {"MOD\t\tPO\tbob\tA/B\t\tm4\r\n\r\n", "Update\t\\A/B\tm4\n", false},
      {"NEW\t\tPO\tbob\t\t\tm5\r\n\r\n", "Add\t\\\tm5\n", false},
      {"COMMIT", "", false},
      {"NFY\t\tPO\tbob\tInbox\t\tm6\r\n\r\n", "", false},
      {"ADD\t\tPO\t..\tInbox\t\tm7\r\n\r\n", "", false},
      {"ADD\t\tPO\tnobody\tInbox\t\tm8\r\n\r\n", "", false},
      {"ADD\t\tPO\tbob\tInbox\t\tforged\nAdd\r\n\r\n", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    std::remove((index + "/_srchidx.upd").c_str());
    std::remove((index + "/_srchidx.dty").c_str());
    NotifyClients(dir_.path(), "Inbox", c.data, 1023);
    EXPECT_EQ(test::ReadFile(index + "/_srchidx.upd"), c.journal);
    EXPECT_EQ(test::PathExists(index + "/_srchidx.dty"), c.dirty);
  }
  EXPECT_FALSE(test::PathExists(dir_ / "root/PO/INDEXROOT/nobody"));
  registry_.Rewrite(test::RegistryWithMailRoot(dir_ / "root"));
  ResetNotifySettingsCache();
  NotifyClients(dir_.path(), "Inbox", cases[0].data, 1023);
  EXPECT_EQ(test::ReadFile(index + "/_srchidx.upd"), "");
}

}  // namespace
}  // namespace tw
