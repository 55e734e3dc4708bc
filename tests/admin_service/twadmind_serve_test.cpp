// twadmind serve started on a free loopback port with a scratch store, and
// driven as the proxy would drive it, through plain connections.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/password_hash.h"
#include "platform/tcp_listener.h"
#include "services/remote/remote_messages.h"
#include "admin_service/running_service.h"
#include "support/folder_records.h"
#include "support/store_fixture.h"
#include "support/twstore_run.h"
#include "twstore.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using remote::ParameterBlock;

constexpr uint32_t kWaitMs = 20000;

class Client {
 public:
  explicit Client(uint16_t port) : stream_(platform::ConnectTcp("127.0.0.1", port, kWaitMs)) {}
  bool connected() const { return stream_.IsOpen(); }

  // One request and its reply; empty when the service closed instead.
  std::string Exchange(const std::string& request) {
    if (!stream_.SendAll(request, kWaitMs)) return {};
    std::string reply;
    while (reply.find(remote::kMessageEnd) == std::string::npos)
      if (stream_.ReceiveSome(reply, 65536, kWaitMs) != platform::TcpStream::Receive::kData) return {};
    return reply;
  }
  // True when the service has closed its side.
  bool Closed() {
    std::string rest;
    return stream_.ReceiveSome(rest, 4096, kWaitMs) == platform::TcpStream::Receive::kClosed && rest.empty();
  }
  void SignIn() {
    ASSERT_TRUE(remote::IsSuccessReply(Exchange(remote::AuthRequest("", "admin:right secret"))));
    ASSERT_TRUE(remote::IsSuccessReply(Exchange(remote::LoadRequest("TWSTORE.DLL"))));
  }

  // A forwarded call on one folder record: its result, the record updated
  // from the reply when it came back.
  uint32_t Call(const char* function, FolderRecord& record) {
    const ParameterBlock block{&record, sizeof record};
    const std::string reply = Exchange(remote::ExecRequest(function, {&block, 1}).value());
    const auto result = remote::FindParameter(reply, 0);
    uint32_t number = 0;
    if (!result || !remote::DecodeParameter(result->content, &number, sizeof number)) return 0;
    if (const auto returned = remote::FindParameter(reply, 1)) {
      EXPECT_TRUE(remote::DecodeParameter(returned->content, &record, sizeof record));
    }
    return number;
  }

 private:
  platform::TcpStream stream_;
};

FolderRecord Folder(const char* path, const char* name) { return test::MakeFolderRecord("alice", path, name, "Demo"); }

class TwadmindServe : public ::testing::Test {
 protected:
  void SetUp() override {
    test::MakeDirs(Box() + "/Inbox");
    users_ = mail_.dir() / "users";
    test::WriteFile(users_, "admin:" + platform::HashSecret("right secret") + "\n");
    fs::permissions(users_, fs::perms::owner_read | fs::perms::owner_write);
    if (geteuid() == 0) HandTheStoreToNobody();
  }

  // Run as root, the service takes the mail root's owner: the store is
  // nobody's then, and the scratch and registry directories open to it.
  void HandTheStoreToNobody() {
    const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(mail_.dir().path(), open);
    const fs::path registry = mail_.registry().path();
    fs::permissions(registry.parent_path(), open);
    fs::permissions(registry, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    for (const auto& entry : fs::recursive_directory_iterator(mail_.root()))
      ASSERT_EQ(chown(entry.path().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(mail_.root().c_str(), kNobody, kNobody), 0);
    storeOwner_ = kNobody;
  }
  void TearDown() override { Stop(); }

  std::string Box() const { return mail_.root() + "/Demo/MAILROOT/alice"; }

  void Start(const std::string& options = "") {
    service_.Start(mail_.registry().path(), users_, mail_.dir() / "errors", options);
    port_ = service_.port();
  }
  void Stop() { service_.Stop(); }
  std::string Errors() { return test::ReadFile(mail_.dir() / "errors"); }

  test::MailRoot mail_{"", "/POSTOFFICES"};
  std::string users_;
  test::RunningService service_;
  uint16_t port_ = 0;
  static constexpr uid_t kNobody = 65534;
  uid_t storeOwner_ = geteuid();
};

TEST_F(TwadmindServe, FolderCallsChangeTheServicesStore) {
  Start();
  Client client(port_);
  ASSERT_TRUE(client.connected());
  EXPECT_TRUE(remote::IsSuccessReply(client.Exchange(remote::PingRequest())));
  client.SignIn();

  for (const char* name : {"Remote", "Second"}) {
    FolderRecord added = Folder("\\Inbox", name);
    EXPECT_NE(client.Call("StoreFolderAdd", added), 0u) << Errors();
  }
  struct stat made {};
  ASSERT_EQ(stat((Box() + "/Inbox/Remote").c_str(), &made), 0) << Errors();
  EXPECT_TRUE(S_ISDIR(made.st_mode));
  EXPECT_EQ(made.st_uid, storeOwner_) << "made by the service, as the store's owner";

  std::set<std::string> found;
  FolderRecord search = Folder("\\Inbox", "");
  for (uint32_t more = client.Call("StoreFolderFindFirst", search); more != 0;
       more = client.Call("StoreFolderFindNext", search))
    found.insert(search.name);
  client.Call("StoreFolderFindClose", search);
  EXPECT_EQ(found, (std::set<std::string>{"Remote", "Second"}));

  EXPECT_TRUE(remote::IsSuccessReply(client.Exchange(remote::QuitRequest())));
  EXPECT_TRUE(client.Closed());
}

TEST_F(TwadmindServe, RefusalsOverTheWire) {
  Start();
  Client client(port_);
  FolderRecord record = Folder("\\Inbox", "Early");
  EXPECT_EQ(client.Call("StoreFolderAdd", record), 0u) << "EXEC before AUTH";
  EXPECT_FALSE(fs::exists(Box() + "/Inbox/Early"));
  ASSERT_TRUE(remote::IsSuccessReply(client.Exchange(remote::AuthRequest("", "admin:right secret"))));
  const std::string calendar = client.Exchange(remote::LoadRequest("TWCALPRV.DLL"));
  EXPECT_FALSE(calendar.empty()) << "the calendar provider is not built: refused, connection kept";
  EXPECT_FALSE(remote::IsSuccessReply(calendar));
  EXPECT_FALSE(remote::IsSuccessReply(client.Exchange(remote::LoadRequest("/lib/x86_64-linux-gnu/libc.so.6"))));
  ASSERT_TRUE(remote::IsSuccessReply(client.Exchange(remote::LoadRequest("TWSTORE.DLL"))));
  EXPECT_EQ(client.Call("StoreFolderGet_Ex", record), 0u);
  // A request with no end within the longest one closes the connection.
  EXPECT_TRUE(client.Exchange(std::string(40000, 'A')).empty());

  Client guesser(port_);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(remote::IsSuccessReply(guesser.Exchange(remote::AuthRequest("", "admin:x"))));
  EXPECT_TRUE(guesser.Closed()) << "the third failed AUTH closes";
  EXPECT_NE(Errors().find("failed AUTH for \"admin\""), std::string::npos) << Errors();
}

// Every file below `top` with its content, links as links.
std::vector<std::string> FilesBelow(const std::string& top) {
  std::vector<std::string> files;
  for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it)
    files.push_back(it->path().string() + (it->is_symlink()         ? "@"
                                           : it->is_regular_file() ? "=" + test::ReadFile(it->path().string())
                                                                   : "/"));
  std::sort(files.begin(), files.end());
  return files;
}

// Records that lead elsewhere, sent over the wire to every forwarded call:
// the service's store refuses them as a local caller's, and nothing outside
// the named mailbox changes (another mailbox, the mail root, what a link
// points to).
TEST_F(TwadmindServe, HostileRecordsOverTheWireTouchNothingOutsideTheMailbox) {
  const std::string outside = mail_.dir() / "outside";
  test::MakeDirs(outside + "/Sub");
  test::WriteFile(outside + "/keep.txt", "outside");
  test::MakeDirs(mail_.root() + "/Demo/MAILROOT/eve/Inbox");
  test::WriteFile(mail_.root() + "/Demo/MAILROOT/eve/Inbox/m.mai", "eve's");
  fs::create_directory_symlink(outside, Box() + "/Linked");
  // Writable by whoever the service runs as: only the store's checks may
  // keep it out.
  for (const std::string& directory : {outside, outside + "/Sub"}) fs::permissions(directory, fs::perms::all);
  if (geteuid() == 0) HandTheStoreToNobody();
  auto victims = [&] {
    std::vector<std::string> all = FilesBelow(outside);
    for (const std::string& f : FilesBelow(mail_.root() + "/Demo/MAILROOT/eve")) all.push_back(f);
    return all;
  };
  const std::vector<std::string> before = victims();

  Start();
  Client client(port_);
  client.SignIn();
  const FolderRecord hostile[] = {
      Folder("\\..\\..", "x"), Folder("\\", ".."),          Folder("\\", "..\\eve"), Folder("\\Linked", ""),
      Folder("\\Linked", "Sub"), Folder("\\Linked\\Sub", "x"), Folder("..\\eve", "Inbox"), Folder("\\", ""),
  };
  for (FolderRecord record : hostile) {
    // Removing the link, or moving Inbox to its name, is allowed within the
    // mailbox: each record starts from the same mailbox.
    if (!fs::is_symlink(Box() + "/Linked")) {
      fs::remove_all(Box() + "/Linked");
      fs::create_directory_symlink(outside, Box() + "/Linked");
    }
    fs::create_directories(Box() + "/Inbox");
    FolderRecord copy = record;
    for (const char* function : {"StoreFolderAdd", "StoreFolderRemove", "StoreFolderGet", "StoreFolderFindFirst"})
      client.Call(function, copy = record);
    for (const char* function : {"StoreFolderEdit", "StoreFolderCopy"}) {
      for (bool hostileFirst : {true, false}) {
        FolderRecord safe = Folder("\\", "Inbox");
        FolderRecord first = hostileFirst ? record : safe, second = hostileFirst ? safe : record;
        const ParameterBlock blocks[] = {{&first, sizeof first}, {&second, sizeof second}};
        client.Exchange(remote::ExecRequest(function, blocks).value());
      }
    }
  }
  FolderRecord wrongBox = Folder("\\", "Inbox");
  std::strcpy(wrongBox.mailbox, "../eve");
  client.Call("StoreFolderRemove", wrongBox);
  EXPECT_EQ(victims(), before);
}

TEST_F(TwadmindServe, TheServiceNamesItselfAndRunsForcedCallsInItsOwnStore) {
  // "ForceDefaultHost" in the service's own settings names a host the test
  // listens for: a service that did not know itself would pass the call on.
  platform::TcpListener elsewhere;
  uint16_t elsewherePort = 0;
  std::string why;
  ASSERT_TRUE(elsewhere.Listen("127.0.0.1", elsewherePort, why)) << why;
  const std::string administration =
      "[HKEY_CURRENT_USER\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Administration";
  mail_.Use("\r\n" + administration + "]\r\n" + test::DwordValue("ForceDefaultHost", 1) + "\r\n" + administration +
            "\\Hosts\\Default]\r\n" + test::StringValue("Address", "localhost") +
            test::DwordValue("Port", elsewherePort) + "\r\n");
  if (geteuid() == 0) HandTheStoreToNobody();
  Start();
  Client client(port_);
  client.SignIn();
  FolderRecord added = Folder("\\Inbox", "Here");
  EXPECT_NE(client.Call("StoreFolderAdd", added), 0u) << Errors();
  EXPECT_TRUE(fs::is_directory(Box() + "/Inbox/Here")) << Errors();
  EXPECT_FALSE(elsewhere.Accept(0).IsOpen()) << "the service passed a call on";
}

TEST_F(TwadmindServe, ConnectionsPastTheCapAreClosed) {
  Start("--max-connections 1");
  Client first(port_);
  ASSERT_TRUE(remote::IsSuccessReply(first.Exchange(remote::PingRequest())));
  Client second(port_);
  EXPECT_TRUE(second.Closed());
  EXPECT_TRUE(remote::IsSuccessReply(first.Exchange(remote::PingRequest()))) << "the first one is kept";
}

TEST_F(TwadmindServe, StartRefusesAUsersFileOthersCanRead) {
  fs::permissions(users_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  const test::CliRun run = test::RunCommand("TW_REGISTRY_FILE='" + mail_.registry().path() +
                                            "' '" TW_TEST_BIN_DIR "/twadmind' serve --port 0 --users '" + users_ + "' 2>&1");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("others can read"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("listening"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace tw
