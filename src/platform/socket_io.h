// The socket steps every TCP and local-socket user of the platform shares:
// deadlines, waiting for one descriptor, a connect and a send that keep to
// a deadline. Internal to the platform layer.
#pragma once
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string_view>

namespace tw::platform::detail {

class Deadline {
 public:
  explicit Deadline(uint32_t ms) : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)) {}
  int Remaining() const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  }

 private:
  std::chrono::steady_clock::time_point end_;
};

// poll() for one descriptor, retried after signals until the deadline.
bool WaitFor(int fd, short events, const Deadline& deadline);

// A non-blocking connect finished within the time-out: 0 or an error
// number of the platform's last-error kind (1225 refused, 1231 unreachable,
// 1460 timed out).
uint32_t ConnectWithin(int fd, const sockaddr* address, socklen_t length, uint32_t timeoutMs);
uint32_t ConnectError(int err);

// Sends all of `text` on a non-blocking socket by the deadline. A peer gone
// must not end the process: no SIGPIPE.
bool SendAll(int fd, std::string_view text, const Deadline& deadline);

}  // namespace tw::platform::detail
