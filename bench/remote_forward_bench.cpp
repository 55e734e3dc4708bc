// A forwarded StoreFolderFindNext over loopback against a real `twadmind
// serve`, beside a bare PING round trip on its own connection in the same
// run, and a connection's set-up (connect, AUTH, LOAD, QUIT).
//
//   build/default/bin/remote_forward_bench
//
// The service is started once, as a child, on a free port with a scratch
// store of kFolders folders below \Inbox; the client side has its own
// registry and a private user file with the credentials.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/password_hash.h"
#include "platform/service_process.h"
#include "platform/tcp_listener.h"
#include "services/remote/remote_messages.h"
#include "twstore.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 200;
constexpr uint32_t kWaitMs = 20000;
constexpr const char* kSecret = "admin:bench secret";
constexpr const char* kStoreKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]\r\n";
constexpr const char* kHostKey =
    "[HKEY_CURRENT_USER\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Administration\\Hosts\\bench]\r\n";

void Write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

// The service and the client's settings, for the whole run.
class Service {
 public:
  Service() {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("tw-remote-bench-" + std::to_string(random()));
    const fs::path inbox = dir_ / "POSTOFFICES/Demo/MAILROOT/alice/Inbox";
    for (int i = 0; i < kFolders; ++i) fs::create_directories(inbox / ("F" + std::to_string(1000 + i)));
    fs::create_directories(dir_ / "CLIENT");
    Write(dir_ / "service.reg", std::string(kStoreKey) + "\"Mail Root\"=\"" + (dir_ / "POSTOFFICES").string() + "\"\r\n");
    const fs::path users = dir_ / "users";
    Write(users, "admin:" + tw::platform::HashSecret("bench secret") + "\n");
    fs::permissions(users, fs::perms::owner_read | fs::perms::owner_write);
    // Run as root, the service takes the store's owner, and refuses a store
    // of root's: hand it to nobody.
    if (tw::platform::EffectiveUserIsRoot()) {
      fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
      fs::permissions(dir_ / "service.reg", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
      const std::string handOver = "chown -R 65534:65534 '" + (dir_ / "POSTOFFICES").string() + "'";
      if (std::system(handOver.c_str()) != 0) return;
    }
    const std::string command = "TW_REGISTRY_FILE='" + (dir_ / "service.reg").string() + "' exec '" TW_BENCH_BIN_DIR
                                "/twadmind' serve --port 0 --users '" + users.string() + "' 2>'" +
                                (dir_ / "errors").string() + "'";
    server_ = popen(command.c_str(), "r");
    char line[256] = {};
    unsigned port = 0;
    if (server_ == nullptr || std::fgets(line, sizeof line, server_) == nullptr ||
        std::sscanf(line, "twadmind: listening on 127.0.0.1:%u (pid %ld)", &port, &pid_) != 2)
      return;
    port_ = static_cast<uint16_t>(port);

    char portValue[32];
    std::snprintf(portValue, sizeof portValue, "dword:%08x", port);
    Write(dir_ / "client.reg", std::string(kStoreKey) + "\"Mail Root\"=\"" + (dir_ / "CLIENT").string() +
                                   "\"\r\n\r\n" + kHostKey + "\"Address\"=\"localhost\"\r\n\"Port\"=" + portValue +
                                   "\r\n");
    Write(dir_ / "user.reg", std::string("REGEDIT4\r\n\r\n") + kHostKey + "\"Credentials\"=\"" + kSecret + "\"\r\n");
    fs::permissions(dir_ / "user.reg", fs::perms::owner_read | fs::perms::owner_write);
    setenv("TW_REGISTRY_FILE", (dir_ / "client.reg").c_str(), 1);
    setenv("TW_USER_REGISTRY_FILE", (dir_ / "user.reg").c_str(), 1);
  }
  ~Service() {
    // popen's shell execs the service: it is this process's child.
    if (pid_ > 0) tw::platform::StopChild(pid_);
    if (server_ != nullptr) pclose(server_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  uint16_t port() const { return port_; }

 private:
  fs::path dir_;
  FILE* server_ = nullptr;
  long pid_ = 0;
  uint16_t port_ = 0;
};

Service& TheService() {
  static Service service;
  return service;
}

// One request and its reply; empty when the service closed instead.
std::string Exchange(tw::platform::TcpStream& stream, const std::string& request) {
  if (!stream.SendAll(request, kWaitMs)) return {};
  std::string reply;
  while (reply.find(tw::remote::kMessageEnd) == std::string::npos)
    if (stream.ReceiveSome(reply, 65536, kWaitMs) != tw::platform::TcpStream::Receive::kData) return {};
  return reply;
}

void BM_PingRoundTrip(benchmark::State& state) {
  if (TheService().port() == 0) return state.SkipWithError("the service did not start");
  tw::platform::TcpStream stream = tw::platform::ConnectTcp("127.0.0.1", TheService().port(), kWaitMs);
  const std::string ping = tw::remote::PingRequest();
  for (auto _ : state)
    if (!tw::remote::IsSuccessReply(Exchange(stream, ping))) return state.SkipWithError("PING failed");
}
BENCHMARK(BM_PingRoundTrip)->Unit(benchmark::kMicrosecond);

// Each call is a PING (is the connection alive?) and the EXEC, through the
// library's one connection.
void BM_ForwardedFindNext(benchmark::State& state) {
  if (TheService().port() == 0) return state.SkipWithError("the service did not start");
  SetCurrentHost("bench");
  static FolderRecord search;
  std::memset(&search, 0, sizeof search);
  std::strcpy(search.postoffice, "Demo");
  std::strcpy(search.mailbox, "alice");
  std::strcpy(search.path, "\\Inbox");
  if (StoreFolderFindFirst(&search) == 0) return state.SkipWithError("the forwarded FindFirst failed");
  int64_t restarts = 0;
  for (auto _ : state) {
    if (StoreFolderFindNext(&search) != 0) continue;
    state.PauseTiming();
    StoreFolderFindClose(&search);
    if (StoreFolderFindFirst(&search) == 0) return state.SkipWithError("the forwarded FindFirst failed");
    ++restarts;
    state.ResumeTiming();
  }
  StoreFolderFindClose(&search);
  state.counters["searches"] = static_cast<double>(restarts + 1);
}
BENCHMARK(BM_ForwardedFindNext)->Unit(benchmark::kMicrosecond);

// A fresh connection each time: the service forks a process for it and
// checks the secret with yescrypt.
void BM_ConnectWithAuth(benchmark::State& state) {
  if (TheService().port() == 0) return state.SkipWithError("the service did not start");
  const std::string auth = tw::remote::AuthRequest("", kSecret);
  const std::string load = tw::remote::LoadRequest("TWSTORE.DLL");
  const std::string quit = tw::remote::QuitRequest();
  for (auto _ : state) {
    tw::platform::TcpStream stream = tw::platform::ConnectTcp("127.0.0.1", TheService().port(), kWaitMs);
    if (!tw::remote::IsSuccessReply(Exchange(stream, auth)) || !tw::remote::IsSuccessReply(Exchange(stream, load)))
      return state.SkipWithError("AUTH or LOAD failed");
    Exchange(stream, quit);
  }
}
BENCHMARK(BM_ConnectWithAuth)->Unit(benchmark::kMillisecond);

}  // namespace
