// The TCP side of the remote-administration service: a listening socket
// and the connections it accepts, each read and written within a time-out.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::platform {

// One connection; closed when it goes.
class TcpStream {
 public:
  enum class Receive { kData, kClosed, kTimedOut, kFailed };

  TcpStream() = default;
  explicit TcpStream(int fd) : fd_(fd) {}
  ~TcpStream();
  TcpStream(TcpStream&& other) noexcept;
  TcpStream& operator=(TcpStream&& other) noexcept;
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Appends what arrives within `timeoutMs` (at most `maxBytes`) to `into`.
  Receive ReceiveSome(std::string& into, size_t maxBytes, uint32_t timeoutMs);
  // The whole text within `timeoutMs`; false when the peer is gone or slow.
  bool SendAll(std::string_view text, uint32_t timeoutMs);
  void Close();

 private:
  friend TcpStream ConnectTcp(const std::string& address, uint16_t port, uint32_t timeoutMs);
  int fd_ = -1;
};

class TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Binds the numeric address (IPv4 or IPv6) on `port`, or on a free port
  // when it is 0; the port bound comes back in `port`. False with the
  // system's reason in `why`.
  bool Listen(const std::string& address, uint16_t& port, std::string& why);
  // The next connection, or a closed one when none came within `timeoutMs`
  // or a signal arrived.
  TcpStream Accept(uint32_t timeoutMs);
  // Closes the listening socket only (a child process after fork).
  void Close();

 private:
  int fd_ = -1;
};

// A connection to a numeric address made within `timeoutMs`, for clients
// (tests, benchmarks) of such a service; closed when it cannot be made.
TcpStream ConnectTcp(const std::string& address, uint16_t port, uint32_t timeoutMs);

// True for 127.0.0.0/8 and ::1 written as numbers.
bool IsLoopbackAddress(const std::string& address);

}  // namespace tw::platform
