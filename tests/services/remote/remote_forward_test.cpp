// The forwarding proxy against a scripted service on a loopback port: where
// calls run, what travels, and how hostile or broken replies leave the
// caller's records.
#include "services/remote_forward.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fake_admin_service.h"
#include "frame/seams.h"
#include "services/remote/host_settings.h"
#include "services/remote/remote_messages.h"
#include "services/remote/remote_session.h"
#include "support/folder_records.h"
#include "support/test_support.h"
#include "twstore.h"

namespace tw {
namespace {

using namespace tw::test;

const std::string kAdministration =
    "[HKEY_CURRENT_USER\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Administration";

std::string HostKey(const std::string& name, uint16_t port, const std::string& address = "127.0.0.1",
                    const std::string& extra = "") {
  return kAdministration + "\\Hosts\\" + name + "]\r\n" + (address.empty() ? "" : StringValue("Address", address)) +
         (port ? DwordValue("Port", port) : "") + extra + "\r\n";
}

std::string ForceDefault(uint32_t on) { return kAdministration + "]\r\n" + DwordValue("ForceDefaultHost", on) + "\r\n"; }

// The EXEC reply of a folder call: the result, and the record when given.
std::string FolderReply(uint32_t result, const FolderRecord* record) {
  remote::ReturnedBlock block{1, {record, sizeof *record}};
  return *remote::ExecReply(result, std::span<const remote::ReturnedBlock>(&block, record ? 1 : 0));
}

// The record the request carries as parameter `number`.
FolderRecord SentRecord(const std::string& request, uint32_t number = 1) {
  FolderRecord record{};
  const auto element = remote::FindParameter(request, number);
  EXPECT_TRUE(element && element->size == sizeof record && remote::DecodeParameter(element->content, &record, sizeof record));
  return record;
}

// A service that accepts every AUTH, LOAD and PING and answers EXEC with `exec`.
FakeScript Accepting(std::function<FakeReply(const std::string&)> exec) {
  return [exec](const std::string& request) {
    if (IsMethod(request, "EXEC")) return exec(request);
    return FakeReply{{remote::SuccessReply()}};
  };
}

// Answers every folder call with result 7 and the record sent, named "remote".
FakeReply RenamingExec(const std::string& request) {
  FolderRecord record = SentRecord(request);
  std::strcpy(record.name, "remote");
  record.total = 4242;
  return FakeReply{{FolderReply(7, &record)}};
}

class RemoteForward : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TW_USER_REGISTRY_FILE", (scratch_ / "user.reg").c_str(), 1);
    remote::SetExecutableNameSource(nullptr);
    remote::SetRemoteTimeouts({2000, 2000, 2000});
    remote::SetCurrentHost("");
  }
  void TearDown() override {
    remote::CloseRemoteConnection();
    remote::SetCurrentHost("");
    remote::SetExecutableNameSource(nullptr);
    remote::SetRemoteTimeouts({});
    unsetenv("TW_USER_REGISTRY_FILE");
  }

  ForwardOutcome Forward(const char* function, FolderRecord& record) {
    ForwardedBlock block{&record, sizeof record, true};
    return ForwardIfRemote(function, "TWSTORE.DLL", std::span(&block, 1));
  }

  ScratchDir scratch_;
};

TEST_F(RemoteForward, WithoutAHostEverythingRunsHereAndNothingConnects) {
  FakeAdminService service(Accepting(RenamingExec));
  ScopedRegistry registry(ForceDefault(0) + HostKey("Default", service.port()));
  FolderRecord record = MakeFolderRecord("user", "\\", "Inbox");
  EXPECT_FALSE(remote::RemoteHostInForce());
  EXPECT_FALSE(Forward("StoreFolderGet", record).forwarded);
  // "127.0.0.1" as host name runs here as well.
  remote::SetCurrentHost("127.0.0.1");
  EXPECT_FALSE(remote::RemoteHostInForce());
  EXPECT_FALSE(Forward("StoreFolderGet", record).forwarded);
  EXPECT_EQ(service.connections(), 0);
}

TEST_F(RemoteForward, StoreFolderGetTravelsWholeAndComesBackFilled) {
  FakeAdminService service(Accepting(RenamingExec));
  ScopedRegistry registry(HostKey("Box", service.port(), "localhost",
                                  StringValue("Credentials", "admin:pw") +
                                      StringValue("Authentication Protocol", "PLAIN")));
  remote::SetCurrentHost("box");  // host names compare without regard to case
  FolderRecord record = MakeFolderRecord("user", "\\Inbox", "Sub");
  const FolderRecord sent = record;
  // Calls outside the table run here and connect nowhere.
  EXPECT_FALSE(Forward("StoreFolderGet_Ex", record).forwarded);
  EXPECT_FALSE(Forward("StoreFolderGetSize", record).forwarded);
  // Through the exported entry, as an administration tool calls it.
  EXPECT_EQ(StoreFolderGet(&record), 7u);
  EXPECT_STREQ(record.name, "remote");
  EXPECT_EQ(record.total, 4242u);
  EXPECT_STREQ(record.path, "\\Inbox");

  const std::vector<std::string> requests = service.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], remote::AuthRequest("PLAIN", "admin:pw"));
  EXPECT_EQ(requests[1], remote::LoadRequest("TWSTORE.DLL"));
  EXPECT_NE(requests[2].find("<FUNCTION>StoreFolderGet</FUNCTION>"), std::string::npos);
  EXPECT_NE(requests[2].find("<PARAMETER1 SIZE=2576>"), std::string::npos);
  const FolderRecord received = SentRecord(requests[2]);
  EXPECT_EQ(std::memcmp(&received, &sent, sizeof sent), 0);

  // The next call only pings the open connection.
  EXPECT_EQ(StoreFolderGet(&record), 7u);
  EXPECT_EQ(service.connections(), 1);
  EXPECT_EQ(service.CountOf("PING"), 1);
}

TEST_F(RemoteForward, AHostThatCannotBeUsedFailsTheCall) {
  ScopedRegistry registry(HostKey("NoAddress", 0, "") + HostKey("BadPort", 0, "127.0.0.1", DwordValue("Port", 70000)));
  FolderRecord record = MakeFolderRecord("user", "\\", "Inbox");
  const FolderRecord before = record;
  for (const char* host : {"NoAddress", "BadPort", "Unknown"}) {
    remote::SetCurrentHost(host);
    const ForwardOutcome outcome = Forward("StoreFolderGet", record);
    EXPECT_TRUE(outcome.forwarded) << host;
    EXPECT_EQ(outcome.result, 0u) << host;
  }
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST_F(RemoteForward, HostSettingsReadTheirDefaults) {
  ScopedRegistry registry(HostKey("Plain", 0) + HostKey("Custom", 9000, "admin.example",
                                                        StringValue("Credentials", std::string(300, 'c'))));
  const auto plain = remote::ReadHostSettings("Plain");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->port, 8081);
  EXPECT_EQ(plain->credentials, "");
  EXPECT_EQ(plain->protocol, "");
  const auto custom = remote::ReadHostSettings("custom");
  ASSERT_TRUE(custom);
  EXPECT_EQ(custom->address, "admin.example");
  EXPECT_EQ(custom->port, 9000);
  EXPECT_EQ(custom->credentials, std::string(255, 'c'));
  EXPECT_FALSE(remote::ReadHostSettings("Missing"));
}

std::string Element(uint32_t number, const std::string& size, const std::string& content) {
  const std::string n = std::to_string(number);
  return "<PARAMETER" + n + " SIZE=" + size + ">" + content + "</PARAMETER" + n + ">";
}

std::string Encoded(const void* data, size_t size) { return *remote::EncodeParameter(data, size); }

// A service whose EXEC answer the test sets before each call.
class ScriptedExec {
 public:
  void Set(FakeReply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    reply_ = std::move(reply);
  }
  FakeScript Script() {
    return Accepting([this](const std::string&) {
      std::lock_guard<std::mutex> lock(mutex_);
      return reply_;
    });
  }

 private:
  std::mutex mutex_;
  FakeReply reply_;
};

// Replies that must fail the call and leave the record as it was; the call
// after each one reconnects when it has to and succeeds. Malformed elements
// are the parser's own tests.
TEST_F(RemoteForward, HostileRepliesGiveZeroAndTouchNothing) {
  const FolderRecord changed = MakeFolderRecord("other", "\\Elsewhere", "changed");
  const uint32_t nine = 9;  // little-endian on this machine, as on the wire
  const std::string result = Element(0, "4", Encoded(&nine, 4));
  const std::string record = Element(1, "2576", Encoded(&changed, sizeof changed));
  const std::string good = "<DATA>" + result + record + "</DATA>";
  struct Case {
    const char* what;
    FakeReply reply;
    uint32_t receiveMs = 2000;
  };
  const std::vector<Case> cases = {
      {"no result element", {{"<DATA>" + record + "</DATA>"}}},
      {"no record element", {{"<DATA>" + result + "</DATA>"}}},
      {"record size off by one", {{"<DATA>" + result + Element(1, "2575", Encoded(&changed, sizeof changed)) + "</DATA>"}}},
      {"record shorter than its size", {{"<DATA>" + result + Element(1, "2576", Encoded(&changed, 2000)) + "</DATA>"}}},
      {"result of five bytes", {{"<DATA>" + Element(0, "5", Encoded("\x09\0\0\0\0", 5)) + record + "</DATA>"}}},
      {"negative size", {{"<DATA>" + Element(0, "-4", Encoded(&nine, 4)) + record + "</DATA>"}}},
      {"over-long", {{"<DATA>" + std::string(40000, ' ') + result + record + "</DATA>"}}},
      {"peer gone mid-reply", {{good.substr(0, good.size() / 2)}, true}},
      {"unending", {{good.substr(0, good.size() - 7)}}, 200},
  };
  ScriptedExec exec;
  FakeAdminService service(exec.Script());
  ScopedRegistry registry(HostKey("Box", service.port()));
  remote::SetCurrentHost("Box");
  for (const Case& c : cases) {
    exec.Set(c.reply);
    remote::SetRemoteTimeouts({2000, 2000, c.receiveMs});
    FolderRecord record = MakeFolderRecord("user", "\\", "Inbox");
    const FolderRecord before = record;
    const ForwardOutcome outcome = Forward("StoreFolderGet", record);
    EXPECT_TRUE(outcome.forwarded) << c.what;
    EXPECT_EQ(outcome.result, 0u) << c.what;
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << c.what;

    exec.Set(FakeReply{{good}});
    EXPECT_EQ(Forward("StoreFolderGet", record).result, 9u) << "after " << c.what;
    EXPECT_STREQ(record.name, "changed") << "after " << c.what;
  }
  // A reply cut at its limit closed the connection, as did the ones cut short.
  EXPECT_EQ(service.connections(), 4);
}

TEST_F(RemoteForward, AReplyInManySegmentsIsReadWhole) {
  const FolderRecord changed = MakeFolderRecord("other", "\\Elsewhere", "changed");
  FakeReply split;
  const std::string whole = FolderReply(3, &changed);
  for (size_t at = 0; at < whole.size(); at += 97) split.pieces.push_back(whole.substr(at, 97));
  FakeAdminService service(Accepting([&](const std::string&) { return split; }));
  ScopedRegistry registry(HostKey("Box", service.port()));
  remote::SetCurrentHost("Box");
  FolderRecord record = MakeFolderRecord("user", "\\", "Inbox");
  EXPECT_EQ(Forward("StoreFolderFindNext", record).result, 3u);
  EXPECT_STREQ(record.name, "changed");
}

TEST_F(RemoteForward, ACallWithNothingReturnedLeavesItsRecords) {
  const FolderRecord changed = MakeFolderRecord("other", "\\Elsewhere", "changed");
  FakeAdminService service(Accepting([&](const std::string&) { return FakeReply{{FolderReply(1, &changed)}}; }));
  ScopedRegistry registry(HostKey("Box", service.port()));
  remote::SetCurrentHost("Box");
  FolderRecord from = MakeFolderRecord("user", "\\", "A"), to = MakeFolderRecord("user", "\\", "B");
  EXPECT_EQ(StoreFolderEdit(&from, &to), 1u);
  EXPECT_STREQ(from.name, "A");
  EXPECT_STREQ(to.name, "B");
  const std::string request = service.requests().back();
  EXPECT_STREQ(SentRecord(request, 1).name, "A");
  EXPECT_STREQ(SentRecord(request, 2).name, "B");
}

TEST_F(RemoteForward, ARecordTooBigForItsScratchIsNotSent) {
  FakeAdminService service(Accepting(RenamingExec));
  ScopedRegistry registry(HostKey("Box", service.port()));
  remote::SetCurrentHost("Box");
  // Random bytes do not pack: 26176 of them pass the 32768-byte scratch.
  std::vector<unsigned char> message(26176);
  std::mt19937 random(7);
  for (unsigned char& byte : message) byte = static_cast<unsigned char>(random());
  const std::vector<unsigned char> before = message;
  ForwardedBlock block{message.data(), message.size(), true};
  const ForwardOutcome outcome = ForwardIfRemote("CommandMessageGet", "TWSTORE.DLL", std::span(&block, 1));
  EXPECT_TRUE(outcome.forwarded);
  EXPECT_EQ(outcome.result, 0u);
  EXPECT_EQ(message, before);
  EXPECT_EQ(service.CountOf("EXEC"), 0);
}

TEST_F(RemoteForward, AServiceKilledMidSessionFailsOneCallThenIsReachedAgain) {
  auto service = std::make_unique<FakeAdminService>(Accepting(RenamingExec));
  const uint16_t port = service->port();
  ScopedRegistry registry(HostKey("Box", port));
  remote::SetCurrentHost("Box");
  FolderRecord record = MakeFolderRecord("user", "\\", "Inbox");
  EXPECT_EQ(Forward("StoreFolderGet", record).result, 7u);
  service.reset();  // killed: port closed, connection dropped
  record = MakeFolderRecord("user", "\\", "Inbox");
  const ForwardOutcome failed = Forward("StoreFolderGet", record);
  EXPECT_TRUE(failed.forwarded);
  EXPECT_EQ(failed.result, 0u);
  EXPECT_STREQ(record.name, "Inbox");

  FakeAdminService restarted(Accepting(RenamingExec), port);
  ASSERT_TRUE(restarted.listening());
  EXPECT_EQ(Forward("StoreFolderGet", record).result, 7u);
  EXPECT_EQ(restarted.CountOf("AUTH"), 1);
}

TEST_F(RemoteForward, ANewHostNameTakesEffectAtTheNextCallAndAFailedAuthNeverLeadsBack) {
  FakeAdminService a(Accepting(RenamingExec)), b(Accepting(RenamingExec));
  FakeAdminService refusing([](const std::string& request) {
    return FakeReply{{IsMethod(request, "AUTH") ? remote::FailureReply() : remote::SuccessReply()}};
  });
  ScopedRegistry registry(HostKey("A", a.port()) + HostKey("B", b.port()) + HostKey("C", refusing.port()));
  FolderRecord record = MakeFolderRecord("user", "\\", "Inbox");
  for (const auto& [host, result] : {std::pair{"A", 7u}, std::pair{"C", 0u}, std::pair{"A", 7u}}) {
    remote::SetCurrentHost(host);
    EXPECT_EQ(Forward("StoreFolderGet", record).result, result) << host;
  }
  EXPECT_EQ(a.CountOf("QUIT"), 1);  // left when C was asked for
  EXPECT_EQ(refusing.CountOf("LOAD") + refusing.CountOf("EXEC"), 0);
  remote::SetCurrentHost("B");
  EXPECT_EQ(b.connections(), 0);
  EXPECT_EQ(Forward("StoreFolderGet", record).result, 7u);
  remote::SetCurrentHost("");
  EXPECT_FALSE(Forward("StoreFolderGet", record).forwarded);
  remote::SetCurrentHost("B");
  EXPECT_EQ(Forward("StoreFolderGet", record).result, 7u);
  EXPECT_EQ(a.CountOf("EXEC"), 2);
  EXPECT_EQ(b.CountOf("EXEC"), 2);
  // Going local closed the connection (it was served to its end before the next).
  EXPECT_EQ(b.CountOf("QUIT"), 1);
  EXPECT_EQ(b.connections(), 2);
}

std::string AdministrationService() { return "/usr/sbin/twadmind"; }
std::string AdministrationTool() { return "/usr/bin/twstore"; }

TEST_F(RemoteForward, ForceDefaultHostSendsToTheHostNamedDefaultButNotFromTheServiceItself) {
  FakeAdminService service(Accepting(RenamingExec));
  ScopedRegistry registry(ForceDefault(1) + HostKey("Default", service.port()));
  FolderRecord record = MakeFolderRecord("user", "\\", "Inbox");
  remote::SetExecutableNameSource(&AdministrationService);
  EXPECT_TRUE(remote::ExecutableNeverForwards());
  EXPECT_FALSE(remote::RemoteHostInForce());
  EXPECT_FALSE(Forward("StoreFolderGet", record).forwarded);
  remote::SetExecutableNameSource(&AdministrationTool);
  EXPECT_TRUE(remote::RemoteHostInForce());
  EXPECT_EQ(service.connections(), 0);  // neither the service's call nor asking connects
  const ForwardOutcome outcome = Forward("StoreFolderGet", record);
  EXPECT_TRUE(outcome.forwarded);
  EXPECT_EQ(outcome.result, 7u);
  EXPECT_STREQ(record.name, "remote");
}

TEST_F(RemoteForward, TwoThreadsEachGetTheirOwnReplies) {
  FakeAdminService service(Accepting(RenamingExec));
  ScopedRegistry registry(HostKey("Box", service.port()));
  remote::SetCurrentHost("Box");
  constexpr int kCalls = 40;
  std::atomic<int> wrong{0};
  auto worker = [&](const char* mailbox) {
    for (int i = 0; i < kCalls; ++i) {
      const std::string path = "\\" + std::to_string(i);
      FolderRecord record = MakeFolderRecord(mailbox, path.c_str(), "Inbox");
      if (Forward("StoreFolderGet", record).result != 7u || std::strcmp(record.mailbox, mailbox) != 0 ||
          record.path != path || std::strcmp(record.name, "remote") != 0)
        ++wrong;
    }
  };
  std::thread first(worker, "first"), second(worker, "second");
  first.join();
  second.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(service.CountOf("EXEC"), 2 * kCalls);
}

TEST_F(RemoteForward, UnInitSaysQuitAndCloses) {
  FakeAdminService service(Accepting(RenamingExec));
  ScopedRegistry registry(HostKey("Box", service.port()));
  remote::SetCurrentHost("Box");
  FolderRecord record = MakeFolderRecord("user", "\\", "Inbox");
  EXPECT_EQ(Forward("StoreFolderGet", record).result, 7u);
  ASSERT_NE(Seams().closeRemoteConnection, nullptr);
  Seams().closeRemoteConnection();
  EXPECT_EQ(Forward("StoreFolderGet", record).result, 7u);
  // The service took the QUIT before the new connection: it serves one at a time.
  EXPECT_EQ(service.CountOf("QUIT"), 1);
  EXPECT_EQ(service.connections(), 2);
}

TEST_F(RemoteForward, CredentialsComeFromAPrivateUserFileOnly) {
  FakeAdminService service(Accepting(RenamingExec));
  ScopedRegistry registry(HostKey("Box", service.port(), "127.0.0.1", StringValue("Credentials", "main:secret")));
  const std::string userFile = scratch_ / "user.reg";
  WriteFile(userFile, "REGEDIT4\r\n\r\n" + HostKey("Box", 0, "", StringValue("Credentials", "user:secret")));
  remote::SetCurrentHost("Box");
  FolderRecord record = MakeFolderRecord("user", "\\", "Inbox");
  CapturedEvents events;
  for (mode_t mode : {0644, 0644, 0600}) {
    ::chmod(userFile.c_str(), mode);
    EXPECT_EQ(Forward("StoreFolderGet", record).result, 7u);
    remote::CloseRemoteConnection();
  }
  std::vector<std::string> auths;
  for (const std::string& r : service.requests())
    if (IsMethod(r, "AUTH")) auths.push_back(r);
  const std::string main = remote::AuthRequest("", "main:secret");
  EXPECT_EQ(auths, (std::vector<std::string>{main, main, remote::AuthRequest("", "user:secret")}));
  const auto entries = events.entries();
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                          [](const auto& e) { return e.text2.find("user.reg") != std::string::npos; }),
            1);
}

}  // namespace
}  // namespace tw
