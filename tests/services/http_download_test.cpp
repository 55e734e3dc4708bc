// Calendar downloads against a small HTTP server on a loopback port, which
// answers each path in its own way: plain bodies, error statuses, redirect
// chains, oversized bodies, and a server that stops sending.
#include "services/http_download.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace tw {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nSUMMARY:Team meeting\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

// A body of `size` bytes that is not one byte repeated, so a cut or a
// shifted copy shows.
std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
  return text;
}

// One connection at a time, each closed after its answer; the test's
// handler writes the answer for the request target.
class LoopbackServer {
 public:
  using Handler = std::function<void(LoopbackServer&, int fd, const std::string& target)>;

  explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "no loopback listener";
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }

  ~LoopbackServer() {
    if (thread_.joinable()) {
      (void)!::write(wake_[1], "x", 1);
      thread_.join();
    }
    for (int fd : {listener_, wake_[0], wake_[1]}) if (fd >= 0) ::close(fd);
  }

  std::string Url(std::string_view path) const { return "http://127.0.0.1:" + std::to_string(port_) + std::string(path); }
  uint16_t Port() const { return port_; }

  // The request targets seen, in order; a connection that sent no request
  // counts as "".
  std::vector<std::string> Targets() const {
    std::lock_guard lock(mutex_);
    return targets_;
  }
  void ForgetTargets() {
    std::lock_guard lock(mutex_);
    targets_.clear();
  }

  // Waits until the client hangs up or the server stops: a server that
  // stalls without sleeping.
  void WaitForHangUp(int fd) const {
    char scratch[4096];
    for (;;) {
      pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0) return;
      if (fds[0].revents != 0 && ::recv(fd, scratch, sizeof scratch, 0) <= 0) return;
    }
  }

 private:
  void Run() {
    for (;;) {
      pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0) return;
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      const std::optional<std::string> target = ReadTarget(fd);
      {
        std::lock_guard lock(mutex_);
        targets_.push_back(target.value_or(""));
      }
      if (target) handler_(*this, fd, *target);
      ::close(fd);
    }
  }

  // The target of the request line, once the whole head has arrived.
  std::optional<std::string> ReadTarget(int fd) const {
    std::string head;
    char scratch[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
      pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0) return std::nullopt;
      const ssize_t got = ::recv(fd, scratch, sizeof scratch, 0);
      if (got <= 0) return std::nullopt;
      head.append(scratch, static_cast<size_t>(got));
    }
    const size_t first = head.find(' ');
    const size_t second = head.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos) return std::nullopt;
    return head.substr(first + 1, second - first - 1);
  }

  Handler handler_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> targets_;
};

std::string Response(std::string_view status, std::string_view body) {
  return "HTTP/1.1 " + std::string(status) + "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + std::string(body);
}

std::string Redirect(std::string_view location) {
  return "HTTP/1.1 302 Found\r\nConnection: close\r\nContent-Length: 0\r\nLocation: " + std::string(location) +
         "\r\n\r\n";
}

// Sends a head without a length and `size` bytes of body in pieces,
// stopping when the client goes away.
void Stream(int fd, size_t size) {
  const std::string piece = Pattern(64 * 1024);
  if (!SendAll(fd, "HTTP/1.0 200 OK\r\n\r\n")) return;
  for (size_t sent = 0; sent < size; sent += piece.size())
    if (!SendAll(fd, std::string_view(piece).substr(0, std::min(piece.size(), size - sent)))) return;
}

const std::string kStreamBody = Pattern(300000);

void Serve(LoopbackServer& server, int fd, const std::string& target) {
  if (target == "/calendar.ics" || target == "/hop/0" || target == "http://calendar.invalid/team.ics")
    SendAll(fd, Response("200 OK", kCalendar));
  else if (target == "/stream.ics")  // the body ends where the connection does
    SendAll(fd, "HTTP/1.0 200 OK\r\nContent-Type: text/calendar\r\n\r\n" + kStreamBody);
  else if (target.starts_with("/hop/"))
    SendAll(fd, Redirect("/hop/" + std::to_string(std::stoi(target.substr(5)) - 1)));
  else if (target == "/to-file")
    SendAll(fd, Redirect("file:///etc/passwd"));
  else if (target == "/to-ftp")
    SendAll(fd, Redirect("ftp://127.0.0.1:" + std::to_string(server.Port()) + "/calendar.ics"));
  else if (target == "/forbidden")
    SendAll(fd, Response("403 Forbidden", "go away"));
  else if (target == "/broken")
    SendAll(fd, Response("500 Internal Server Error", "oops"));
  else if (target == "/huge-announced")  // only the head: a client reading the body would wait
    SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kDownloadLimit + 1) + "\r\n\r\n");
  else if (target == "/huge-stream" || target == "/at-limit")
    Stream(fd, kDownloadLimit + (target == "/at-limit" ? 0 : 1024 * 1024));
  else if (target == "/stall")
    SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nBEGIN:VCAL");
  else if (target != "/tls")
    SendAll(fd, Response("404 Not Found", "no such calendar"));
  if (target == "/huge-announced" || target == "/stall" || target == "/tls") server.WaitForHangUp(fd);
}

void ExpectNoCalendar(const DownloadResult& got, uint32_t result, DownloadFailure failure) {
  EXPECT_EQ(got.result, result);
  EXPECT_EQ(got.failure, failure);
  EXPECT_TRUE(got.bytes.empty());
}

class HttpDownloadTest : public ::testing::Test {
 protected:
  // Proxies of the machine running the tests must not catch loopback traffic.
  void SetUp() override {
    for (const char* name : kProxyVariables) {
      if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
      ::unsetenv(name);
    }
  }
  void TearDown() override {
    for (const char* name : kProxyVariables) ::unsetenv(name);
    for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
  }

  static constexpr const char* kProxyVariables[] = {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                                    "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
  std::vector<std::pair<std::string, std::string>> saved_;
  LoopbackServer server_{Serve};
};

TEST_F(HttpDownloadTest, ReturnsTheWholeBodyWithOrWithoutALength) {
  // Without Content-Length the body is read to the end, far past 2048
  // bytes; the scheme is matched without regard to case.
  const std::string upperScheme = "HTTP://127.0.0.1:" + std::to_string(server_.Port()) + "/calendar.ics";
  for (const auto& [url, body] : {std::pair{server_.Url("/calendar.ics"), std::string(kCalendar)},
                                  std::pair{server_.Url("/stream.ics"), kStreamBody},
                                  std::pair{upperScheme, std::string(kCalendar)}}) {
    const DownloadResult got = DownloadCalendar(url);
    EXPECT_EQ(got.result, kDownloadSucceeded) << url;
    EXPECT_EQ(got.failure, DownloadFailure::kNone);
    EXPECT_EQ(got.httpStatus, 200);
    EXPECT_EQ(got.bytes, body);
  }
}

TEST_F(HttpDownloadTest, ErrorStatusesGiveTheirResultsAndNoBody) {
  for (const auto& [path, result, status] : {std::tuple{"/nowhere.ics", kDownloadAccessDenied, 404},
                                             std::tuple{"/forbidden", kDownloadAccessDenied, 403},
                                             std::tuple{"/broken", kDownloadFailed, 500}}) {
    const DownloadResult got = DownloadCalendar(server_.Url(path));
    ExpectNoCalendar(got, result, DownloadFailure::kHttpStatus);
    EXPECT_EQ(got.httpStatus, status);
  }
}

TEST_F(HttpDownloadTest, FollowsFiveRedirectsAndRefusesASixth) {
  DownloadResult got = DownloadCalendar(server_.Url("/hop/5"));
  EXPECT_EQ(got.result, kDownloadSucceeded);
  EXPECT_EQ(got.bytes, kCalendar);
  EXPECT_EQ(server_.Targets().back(), "/hop/0");

  server_.ForgetTargets();
  got = DownloadCalendar(server_.Url("/hop/6"));
  ExpectNoCalendar(got, kDownloadFailed, DownloadFailure::kRedirect);
  const std::vector<std::string> targets = server_.Targets();
  EXPECT_EQ(targets.size(), 6u);
  EXPECT_EQ(std::count(targets.begin(), targets.end(), "/hop/0"), 0);
}

TEST_F(HttpDownloadTest, RefusesRedirectsToOtherSchemes) {
  for (const char* path : {"/to-file", "/to-ftp"}) {
    SCOPED_TRACE(path);
    server_.ForgetTargets();
    ExpectNoCalendar(DownloadCalendar(server_.Url(path)), kDownloadFailed, DownloadFailure::kRedirect);
    EXPECT_EQ(server_.Targets(), std::vector<std::string>{path});
  }
}

TEST_F(HttpDownloadTest, RefusesAddressesThatAreNotWebAddresses) {
  const std::string port = std::to_string(server_.Port());
  const std::string withNul = server_.Url("/calendar.ics") + std::string(1, '\0') + "x";
  const std::string longOne = server_.Url("/") + std::string(9000, 'a');
  for (const std::string& url :
       {"ftp://127.0.0.1:" + port + "/calendar.ics", std::string("file:///etc/passwd"),
        "127.0.0.1:" + port + "/calendar.ics", std::string(), server_.Url("/calendar .ics"), withNul, longOne}) {
    SCOPED_TRACE(url.substr(0, 80));
    ExpectNoCalendar(DownloadCalendar(url), kDownloadFailed, DownloadFailure::kBadUrl);
  }
  EXPECT_TRUE(server_.Targets().empty());
}

TEST_F(HttpDownloadTest, CapsTheBodyAtSixteenMebibytes) {
  // Refused on the announced length: the server never sends the body, so a
  // client that waited for it would time out instead.
  DownloadSettings settings;
  settings.totalTimeout = 5s;
  ExpectNoCalendar(DownloadCalendar(server_.Url("/huge-announced"), settings), kDownloadFailed,
                   DownloadFailure::kTooLarge);

  // Without a length the body is cut off once it passes the cap.
  ExpectNoCalendar(DownloadCalendar(server_.Url("/huge-stream"), settings), kDownloadFailed,
                   DownloadFailure::kTooLarge);

  // Exactly the cap still passes.
  const DownloadResult got = DownloadCalendar(server_.Url("/at-limit"), settings);
  EXPECT_EQ(got.result, kDownloadSucceeded);
  EXPECT_EQ(got.bytes.size(), kDownloadLimit);
}

TEST_F(HttpDownloadTest, AStalledServerTimesOut) {
  DownloadSettings settings;
  settings.totalTimeout = 200ms;
  const DownloadResult got = DownloadCalendar(server_.Url("/stall"), settings);
  ExpectNoCalendar(got, kDownloadFailed, DownloadFailure::kTimedOut);
  EXPECT_EQ(got.httpStatus, 200);
}

TEST_F(HttpDownloadTest, GoesThroughTheProxyOfTheEnvironment) {
  ::setenv("http_proxy", server_.Url("").c_str(), 1);
  // The name is never resolved here: the proxy gets the whole address.
  const DownloadResult got = DownloadCalendar("http://calendar.invalid/team.ics");
  EXPECT_EQ(got.result, kDownloadSucceeded);
  EXPECT_EQ(got.bytes, kCalendar);
  EXPECT_EQ(server_.Targets(), std::vector<std::string>{"http://calendar.invalid/team.ics"});
}

TEST_F(HttpDownloadTest, CertificateFailuresPrintTheirTexts) {
  const std::string url = "https://127.0.0.1:" + std::to_string(server_.Port()) + "/tls";
  DownloadSettings badCa, badCrl;
  badCa.caFile = "/nonexistent/authorities.pem";
  badCrl.crlFile = "/nonexistent/revoked.pem";
  for (const auto& [settings, text] : {std::pair{badCa, "ERROR_INTERNET_INVALID_CA"},
                                       std::pair{badCrl, "ERROR_INTERNET_SEC_CERT_REV_FAILED"}}) {
    testing::internal::CaptureStdout();
    ExpectNoCalendar(DownloadCalendar(url, settings), kDownloadFailed, DownloadFailure::kCertificate);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("HttpSendRequest returned: ") + text);
  }
}

TEST_F(HttpDownloadTest, ThreadsDownloadAtTheSameTime) {
  std::vector<std::string> bodies(4);
  std::vector<std::thread> threads;
  for (std::string& body : bodies)
    threads.emplace_back([&] { body = DownloadCalendar(server_.Url("/calendar.ics")).bytes; });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(bodies, std::vector<std::string>(4, std::string(kCalendar)));
}

}  // namespace
}  // namespace tw
