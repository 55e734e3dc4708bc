#include "platform/tcp_listener.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/socket_io.h"

namespace tw::platform {

using detail::Deadline;
using detail::WaitFor;

TcpStream::~TcpStream() { Close(); }

TcpStream::TcpStream(TcpStream&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

TcpStream& TcpStream::operator=(TcpStream&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void TcpStream::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

TcpStream::Receive TcpStream::ReceiveSome(std::string& into, size_t maxBytes, uint32_t timeoutMs) {
  if (fd_ < 0 || maxBytes == 0) return Receive::kFailed;
  const Deadline end(timeoutMs);
  std::vector<char> buffer(maxBytes < 16384 ? maxBytes : 16384);
  for (;;) {
    const ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
    if (n > 0) {
      into.append(buffer.data(), static_cast<size_t>(n));
      return Receive::kData;
    }
    if (n == 0) return Receive::kClosed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Receive::kFailed;
    if (!WaitFor(fd_, POLLIN, end)) return Receive::kTimedOut;
  }
}

bool TcpStream::SendAll(std::string_view text, uint32_t timeoutMs) {
  return fd_ >= 0 && detail::SendAll(fd_, text, Deadline(timeoutMs));
}

TcpListener::~TcpListener() { Close(); }

void TcpListener::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool TcpListener::Listen(const std::string& address, uint16_t& port, std::string& why) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int resolved = address.find('\0') != std::string::npos
                           ? EAI_NONAME
                           : getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (resolved != 0 || found == nullptr) {
    why = "not a numeric address: " + address;
    return false;
  }
  int fd = socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, found->ai_protocol);
  const int on = 1;
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 64) != 0) {
    why = std::strerror(errno);
    if (fd >= 0) close(fd);
    freeaddrinfo(found);
    return false;
  }
  freeaddrinfo(found);
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    port = local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port)
                                       : ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
  }
  fd_ = fd;
  return true;
}

TcpStream TcpListener::Accept(uint32_t timeoutMs) {
  if (fd_ < 0) return TcpStream();
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeoutMs)) <= 0) return TcpStream();
  return TcpStream(accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

TcpStream ConnectTcp(const std::string& address, uint16_t port, uint32_t timeoutMs) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (address.find('\0') != std::string::npos ||
      getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr)
    return TcpStream();
  TcpStream stream(socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, found->ai_protocol));
  bool connected = false;
  if (stream.IsOpen()) {
    const int fd = stream.fd_;
    connected = detail::ConnectWithin(fd, found->ai_addr, found->ai_addrlen, timeoutMs) == 0;
  }
  freeaddrinfo(found);
  if (!connected) stream.Close();
  return stream;
}

bool IsLoopbackAddress(const std::string& address) {
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

}  // namespace tw::platform
