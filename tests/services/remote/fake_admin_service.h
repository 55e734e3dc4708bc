// A stand-in for the remote-administration service: a thread on a loopback
// port that reads requests up to "</DATA>" and answers each as the test's
// script says, in as many separate sends as the script gives pieces.
#pragma once
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tw::test {

struct FakeReply {
  std::vector<std::string> pieces;  // sent one send() each
  bool closeAfter = false;          // then drop the connection
};

using FakeScript = std::function<FakeReply(const std::string& request)>;

inline bool IsMethod(const std::string& request, const char* method) {
  return request.find(std::string("<METHOD>") + method + "</METHOD>") != std::string::npos;
}

class FakeAdminService {
 public:
  // Listens on 127.0.0.1:`port` (0: a free one).
  explicit FakeAdminService(FakeScript script, uint16_t port = 0) : script_(std::move(script)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 8) != 0) {
      close(listener_);
      listener_ = -1;
      return;
    }
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (pipe2(wake_, O_CLOEXEC) != 0) return;
    thread_ = std::thread([this] { Run(); });
  }

  ~FakeAdminService() { Stop(); }
  FakeAdminService(const FakeAdminService&) = delete;
  FakeAdminService& operator=(const FakeAdminService&) = delete;

  bool listening() const { return port_ != 0; }
  uint16_t port() const { return port_; }
  int connections() const { return connections_; }
  std::vector<std::string> requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  int CountOf(const char* method) const {
    int n = 0;
    for (const std::string& r : requests()) n += IsMethod(r, method) ? 1 : 0;
    return n;
  }

  // Closes the port and any connection, as a killed service would.
  void Stop() {
    if (thread_.joinable()) {
      const char byte = 0;
      (void)!write(wake_[1], &byte, 1);
      thread_.join();
    }
    for (int* fd : {&listener_, &wake_[0], &wake_[1]}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }

 private:
  // Waits for `fd` or the wake pipe; false when woken (stop).
  bool Await(int fd) {
    pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    while (poll(p, 2, -1) < 0) {
    }
    return (p[1].revents & POLLIN) == 0;
  }

  void Run() {
    while (Await(listener_)) {
      const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      ++connections_;
      const int on = 1;
      setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      const bool stopped = !Serve(connection);
      close(connection);
      if (stopped) return;
    }
  }

  // One connection until the peer or the script ends it; false on stop.
  bool Serve(int connection) {
    std::string pending;
    char buffer[8192];
    for (;;) {
      const size_t end = pending.find("</DATA>");
      if (end != std::string::npos) {
        const std::string request = pending.substr(0, end + 7);
        pending.erase(0, end + 7);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(request);
        }
        if (IsMethod(request, "QUIT")) return true;
        const FakeReply reply = script_(request);
        for (const std::string& piece : reply.pieces) {
          if (send(connection, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) return true;
        }
        if (reply.closeAfter) return true;
        continue;
      }
      if (!Await(connection)) return false;
      const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
      if (n <= 0) return true;
      pending.append(buffer, static_cast<size_t>(n));
    }
  }

  FakeScript script_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace tw::test
