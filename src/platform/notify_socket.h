// The sockets of the notification library and its listeners. A listener on
// this host owns a Unix domain socket "<runtime dir>/<protocol>.sock"; a
// listener's host is reached by TCP, where a relay hands each message to its
// local socket. One exchange: the notifier connects, sends the message (over
// TCP preceded by the protocol and a line feed), closes its sending side,
// and waits for one reply line; "OK\n" means the listener accepted it. Every
// step has its own time-out, so a hung listener costs the notifier a bounded
// wait.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/notify_framing.h"

namespace tw::platform {

// $TW_NOTIFY_DIR when set, else $XDG_RUNTIME_DIR/twstore, else
// /tmp/twstore-<uid>. Never ends with "/".
std::string NotifyRuntimeDirectory();
// Creates the runtime directory (one level, mode 0700) when missing. False,
// last error set, when it cannot be made or is not a directory of this user
// (a directory someone else made in /tmp must not receive our sockets).
bool EnsureNotifyRuntimeDirectory(const std::string& directory);

// The socket of `protocol`'s listener on this host, the protocol in lower
// case; empty when the protocol cannot name a file (letters, digits, "_"
// and "." only, at most 255, never "." or "..").
std::string NotifySocketPath(std::string_view protocol);

struct DeliveryTimeouts {
  uint32_t connectMs = 250;
  uint32_t sendMs = 250;
  uint32_t replyMs = 500;
};

// 0 when the listener replied "OK\n"; otherwise a Windows error number:
// 2 no socket there, 1225 refused, 1460 timed out, 13 another reply, 87 a
// name or path that cannot be used, 1231 host not reachable.
uint32_t DeliverToUnixSocket(const std::string& path, std::string_view message, const DeliveryTimeouts& timeouts);
uint32_t DeliverToTcp(const std::string& host, uint16_t port, std::string_view protocol, std::string_view message,
                      const DeliveryTimeouts& timeouts);
// One accepted connection of a listener.
class NotifyConnection {
 public:
  NotifyConnection() = default;
  explicit NotifyConnection(int fd) : fd_(fd) {}
  ~NotifyConnection();
  NotifyConnection(NotifyConnection&& other) noexcept;
  NotifyConnection& operator=(NotifyConnection&& other) noexcept;
  NotifyConnection(const NotifyConnection&) = delete;
  NotifyConnection& operator=(const NotifyConnection&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Reads until the peer closes its sending side, within the limits;
  // kComplete with the message, else the refusal (`message` holds what was
  // taken).
  FrameResult ReadMessage(std::string& message, const FrameLimits& limits);
  bool Write(std::string_view text, uint32_t timeoutMs);
  void Close();

 private:
  int fd_ = -1;
};

// The client end of a request-reply exchange over TCP (IPv4), as the
// remote-administration proxy uses it: each step bounded by its own time-out,
// sends never raise SIGPIPE, and a reply is read up to its terminator.
class TcpClientConnection {
 public:
  enum class Received {
    kComplete,  // the terminator came within the limit
    kTooLong,   // the limit passed first
    kClosed,    // the peer closed before the terminator
    kTimedOut,
    kFailed,
  };

  TcpClientConnection() = default;
  ~TcpClientConnection();
  TcpClientConnection(const TcpClientConnection&) = delete;
  TcpClientConnection& operator=(const TcpClientConnection&) = delete;

  // Resolves `host` (name or dotted address) to its first IPv4 address and
  // connects within `timeoutMs`; any connection open before is closed first.
  // 0, or an error number as DeliverToTcp gives them.
  uint32_t Connect(const std::string& host, uint16_t port, uint32_t timeoutMs);
  bool IsOpen() const { return fd_ >= 0; }
  bool SendAll(std::string_view text, uint32_t timeoutMs);
  // Reads into `reply` (emptied first) until it holds `terminator`, within
  // `limit` bytes and `timeoutMs`. Anything but kComplete closes the
  // connection: what is still on its way would be taken for the next reply.
  // So does a complete reply followed by more bytes, which are dropped.
  Received ReceiveUntil(std::string& reply, std::string_view terminator, size_t limit, uint32_t timeoutMs);
  void Close();

 private:
  int fd_ = -1;
};

// A listening socket.
class NotifySocketServer {
 public:
  NotifySocketServer() = default;
  ~NotifySocketServer();
  NotifySocketServer(const NotifySocketServer&) = delete;
  NotifySocketServer& operator=(const NotifySocketServer&) = delete;

  // Binds the Unix socket at `path`. A socket file nobody answers on is a
  // leftover and is replaced; a live one is error 183.
  bool ListenUnix(const std::string& path);
  // Binds `address` (empty: every interface) on `port`, or on a free port
  // when it is 0; the port bound is returned in `port`.
  bool ListenTcp(const std::string& address, uint16_t& port);
  // The next connection, or a closed one when none came within `timeoutMs`
  // or a signal arrived.
  NotifyConnection Accept(uint32_t timeoutMs);
  // Stops listening and removes the socket file.
  void Close();

 private:
  int fd_ = -1;
  std::string path_;
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
};

}  // namespace tw::platform
