#include "platform/socket_io.h"

#include <poll.h>

#include <cerrno>

#include "platform/last_error.h"

namespace tw::platform::detail {
namespace {

constexpr uint32_t kErrorNetworkUnreachable = 1231;
constexpr uint32_t kErrorConnectionRefused = 1225;
constexpr uint32_t kErrorTimeout = 1460;

}  // namespace

bool WaitFor(int fd, short events, const Deadline& deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, deadline.Remaining());
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

uint32_t ConnectError(int err) {
  switch (err) {
    case ENOENT: return kErrorFileNotFound;
    case ECONNREFUSED: return kErrorConnectionRefused;
    case EAGAIN:
    case ETIMEDOUT: return kErrorTimeout;
    case ENETUNREACH:
    case EHOSTUNREACH: return kErrorNetworkUnreachable;
    default: return ErrorFromErrno(err);
  }
}

uint32_t ConnectWithin(int fd, const sockaddr* address, socklen_t length, uint32_t timeoutMs) {
  if (connect(fd, address, length) == 0) return 0;
  if (errno != EINPROGRESS) return ConnectError(errno);
  if (!WaitFor(fd, POLLOUT, Deadline(timeoutMs))) return kErrorTimeout;
  int err = 0;
  socklen_t size = sizeof err;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &size) != 0) return ConnectError(errno);
  return err == 0 ? 0 : ConnectError(err);
}

bool SendAll(int fd, std::string_view text, const Deadline& deadline) {
  size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace tw::platform::detail
