#include "platform/notify_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/last_error.h"
#include "platform/library_loader.h"
#include "platform/socket_io.h"

namespace tw::platform {
namespace {

using detail::ConnectError;
using detail::ConnectWithin;
using detail::Deadline;
using detail::SendAll;
using detail::WaitFor;

constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorNetworkUnreachable = 1231;
constexpr uint32_t kErrorConnectionRefused = 1225;
constexpr uint32_t kErrorTimeout = 1460;

using Clock = std::chrono::steady_clock;
constexpr size_t kMaxReply = 64;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// The exchange on a connected socket: message, half close, one reply line.
uint32_t Exchange(int fd, std::string_view message, const DeliveryTimeouts& timeouts) {
  if (!SendAll(fd, message, Deadline(timeouts.sendMs))) return kErrorTimeout;
  shutdown(fd, SHUT_WR);
  const Deadline deadline(timeouts.replyMs);
  std::string reply;
  char buffer[kMaxReply];
  while (reply.find('\n') == std::string::npos && reply.size() < kMaxReply) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      reply.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitFor(fd, POLLIN, deadline)) return kErrorTimeout;
    } else {
      return ConnectError(errno);
    }
  }
  return reply.rfind("OK\n", 0) == 0 ? 0 : kErrorInvalidData;
}

bool UnixAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path || path.find('\0') != std::string::npos) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

// True when connecting is refused: the socket file is a dead listener's.
bool NobodyListens(const sockaddr_un& address) {
  Fd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  return probe.get() >= 0 &&
         ConnectWithin(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address, 250) ==
             kErrorConnectionRefused;
}

bool SameFile(const std::string& path, uint64_t device, uint64_t inode) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

}  // namespace

std::string NotifyRuntimeDirectory() {
  std::string directory = GetEnvironment("TW_NOTIFY_DIR");
  if (directory.empty()) {
    const std::string runtime = GetEnvironment("XDG_RUNTIME_DIR");
    directory = runtime.empty() ? "/tmp/twstore-" + std::to_string(getuid()) : runtime + "/twstore";
  }
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

bool EnsureNotifyRuntimeDirectory(const std::string& directory) {
  if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  struct stat info {};
  if (lstat(directory.c_str(), &info) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  return true;
}

std::string NotifySocketPath(std::string_view protocol) {
  if (protocol.empty() || protocol.size() > 255 || protocol == "." || protocol == "..") return {};
  std::string name;
  for (char c : protocol) {
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
    if (!((lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.')) return {};
    name += lower;
  }
  return NotifyRuntimeDirectory() + "/" + name + ".sock";
}


uint32_t DeliverToUnixSocket(const std::string& path, std::string_view message, const DeliveryTimeouts& timeouts) {
  sockaddr_un address;
  if (!UnixAddress(path, address)) return kErrorInvalidParameter;
  Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return ErrorFromErrno(errno);
  const uint32_t connected =
      ConnectWithin(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address, timeouts.connectMs);
  return connected != 0 ? connected : Exchange(fd.get(), message, timeouts);
}

uint32_t DeliverToTcp(const std::string& host, uint16_t port, std::string_view protocol, std::string_view message,
                      const DeliveryTimeouts& timeouts) {
  if (host.empty() || host.find('\0') != std::string::npos || protocol.empty() ||
      protocol.find('\n') != std::string_view::npos)
    return kErrorInvalidParameter;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  // Name resolution has no time-out of its own; hosts are expected in the
  // local hosts file or as addresses.
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr)
    return kErrorNetworkUnreachable;
  uint32_t result = kErrorNetworkUnreachable;
  const Deadline connectDeadline(timeouts.connectMs);
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    Fd fd(socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
    if (fd.get() < 0) continue;
    result = ConnectWithin(fd.get(), a->ai_addr, a->ai_addrlen, static_cast<uint32_t>(connectDeadline.Remaining()));
    if (result == 0) {
      std::string framed(protocol);
      framed += '\n';
      framed += message;
      result = Exchange(fd.get(), framed, timeouts);
      break;
    }
    if (connectDeadline.Remaining() == 0) break;
  }
  freeaddrinfo(found);
  return result;
}

NotifyConnection::~NotifyConnection() { Close(); }

NotifyConnection::NotifyConnection(NotifyConnection&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

NotifyConnection& NotifyConnection::operator=(NotifyConnection&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void NotifyConnection::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

FrameResult NotifyConnection::ReadMessage(std::string& message, const FrameLimits& limits) {
  MessageFrame frame;
  if (fd_ < 0) frame.result = FrameResult::kBroken;
  const Clock::time_point start = Clock::now();
  const Deadline deadline(limits.timeoutMs);
  auto elapsed = [&] {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  };
  char buffer[4096];
  while (frame.result == FrameResult::kIncomplete) {
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      TakeArrival(frame, Arrival::kPiece, std::string_view(buffer, static_cast<size_t>(n)), elapsed(), limits);
    } else if (n == 0) {
      TakeArrival(frame, Arrival::kClose, {}, elapsed(), limits);
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      TakeArrival(frame, Arrival::kFailure, {}, elapsed(), limits);
    } else if (!WaitFor(fd_, POLLIN, deadline)) {
      TakeArrival(frame, Arrival::kSilence, {}, elapsed(), limits);
    }
  }
  message = std::move(frame.message);
  return frame.result;
}

bool NotifyConnection::Write(std::string_view text, uint32_t timeoutMs) {
  return fd_ >= 0 && SendAll(fd_, text, Deadline(timeoutMs));
}

TcpClientConnection::~TcpClientConnection() { Close(); }

void TcpClientConnection::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

uint32_t TcpClientConnection::Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) {
  Close();
  if (host.empty() || host.find('\0') != std::string::npos || port == 0) return kErrorInvalidParameter;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  // Name resolution has no time-out of its own (as for DeliverToTcp).
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return kErrorNetworkUnreachable;
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  freeaddrinfo(found);
  address.sin_port = htons(port);
  Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return ErrorFromErrno(errno);
  const uint32_t connected =
      ConnectWithin(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address, timeoutMs);
  if (connected == 0) fd_ = fd.release();
  return connected;
}

bool TcpClientConnection::SendAll(std::string_view text, uint32_t timeoutMs) {
  if (fd_ < 0) return false;
  if (platform::SendAll(fd_, text, Deadline(timeoutMs))) return true;
  Close();  // part of the text may be out: the peer's reading is out of step
  return false;
}

TcpClientConnection::Received TcpClientConnection::ReceiveUntil(std::string& reply, std::string_view terminator,
                                                                size_t limit, uint32_t timeoutMs) {
  reply.clear();
  if (fd_ < 0) return Received::kFailed;
  const Deadline deadline(timeoutMs);
  char buffer[4096];
  Received outcome = Received::kFailed;
  for (;;) {
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      // Only the new bytes (and the tail that could start the terminator)
      // are searched, so a reply arriving byte by byte costs no more.
      const size_t from = reply.size() > terminator.size() ? reply.size() - terminator.size() : 0;
      reply.append(buffer, static_cast<size_t>(n));
      const size_t end = reply.find(terminator, from);
      if (end != std::string::npos && end + terminator.size() <= limit) {
        const bool trailing = end + terminator.size() < reply.size();
        reply.resize(end + terminator.size());
        if (trailing) Close();
        return Received::kComplete;
      }
      if (reply.size() >= limit) {
        outcome = Received::kTooLong;
        break;
      }
    } else if (n == 0) {
      outcome = Received::kClosed;
      break;
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      break;
    } else if (!WaitFor(fd_, POLLIN, deadline)) {
      outcome = Received::kTimedOut;
      break;
    }
  }
  Close();
  return outcome;
}

NotifySocketServer::~NotifySocketServer() { Close(); }

bool NotifySocketServer::ListenUnix(const std::string& path) {
  Close();
  sockaddr_un address;
  if (!UnixAddress(path, address)) {
    SetLastError(kErrorFilenameTooLong);
    return false;
  }
  Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  const auto* raw = reinterpret_cast<const sockaddr*>(&address);
  if (bind(fd.get(), raw, sizeof address) != 0) {
    struct stat info {};
    if (errno != EADDRINUSE || lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) {
      SetLastError(errno == EADDRINUSE ? kErrorAlreadyExists : ErrorFromErrno(errno));
      return false;
    }
    // A socket file: someone's, or a leftover of a listener that died.
    if (!NobodyListens(address) || unlink(path.c_str()) != 0 || bind(fd.get(), raw, sizeof address) != 0) {
      SetLastError(kErrorAlreadyExists);
      return false;
    }
  }
  if (listen(fd.get(), 16) != 0) {
    SetLastError(ErrorFromErrno(errno));
    unlink(path.c_str());
    return false;
  }
  struct stat bound {};
  if (lstat(path.c_str(), &bound) == 0) {
    device_ = bound.st_dev;
    inode_ = bound.st_ino;
  }
  fd_ = fd.release();
  path_ = path;
  return true;
}

namespace {

// A listening TCP socket on one of getaddrinfo's answers, or -1 with errno.
int BindAndListen(const addrinfo& a) {
  Fd fd(socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol));
  const int on = 1;
  if (fd.get() < 0 || setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(fd.get(), a.ai_addr, a.ai_addrlen) != 0 || listen(fd.get(), 64) != 0)
    return -1;
  return fd.release();
}

uint16_t LocalPort(int fd) {
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port)
                                     : ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
}

}  // namespace

bool NotifySocketServer::ListenTcp(const std::string& address, uint16_t& port) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (address.find('\0') != std::string::npos ||
      getaddrinfo(address.empty() ? nullptr : address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
      found == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  // For every interface the IPv6 wildcard comes first: it also takes IPv4
  // where the system allows it.
  std::vector<const addrinfo*> candidates;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (address.empty() && a->ai_family == AF_INET6) {
      candidates.insert(candidates.begin(), a);
    } else {
      candidates.push_back(a);
    }
  }
  int fd = -1, err = 0;
  for (const addrinfo* a : candidates) {
    fd = BindAndListen(*a);
    if (fd >= 0) break;
    if (err == 0 || errno == EADDRINUSE) err = errno;
  }
  freeaddrinfo(found);
  if (fd < 0) {
    SetLastError(err == EADDRINUSE ? kErrorAlreadyExists : ErrorFromErrno(err));
    return false;
  }
  port = LocalPort(fd);
  fd_ = fd;
  return true;
}

NotifyConnection NotifySocketServer::Accept(uint32_t timeoutMs) {
  if (fd_ < 0) return NotifyConnection();
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeoutMs)) <= 0) return NotifyConnection();
  return NotifyConnection(accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

void NotifySocketServer::Close() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
  // Only our own socket file: a successor may have replaced it already.
  if (!path_.empty() && SameFile(path_, device_, inode_)) unlink(path_.c_str());
  path_.clear();
}

}  // namespace tw::platform
