// The process's one connection to a remote-administration service, and the
// host it is for. A call takes the session lock, asks whether to go remote
// and exchanges its request under that same lock: with two threads and one
// socket, anything less would hand one thread the other's reply.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace tw::remote {

class SessionLock {
 public:
  SessionLock();
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;

 private:
  std::unique_lock<std::mutex> lock_;
};

enum class RemoteState {
  kLocal,        // run here
  kConnected,    // remote, authenticated and the library loaded
  kUnreachable,  // remote, but no usable connection: the call fails
};

// Decides where a call of `library` runs; connects, authenticates and loads
// the library when needed.
RemoteState CheckRemote(const SessionLock&, std::string_view library);
// Sends `request` and reads its reply whole. False when either fails; the
// connection is then closed and forgotten.
bool Exchange(const SessionLock&, std::string_view request, std::string& reply);

// The host named at the next forwarded call; cut to 1023 characters. Empty:
// local unless "ForceDefaultHost" is set.
void SetCurrentHost(std::string_view host);
// Whether forwarded calls would go remote now. Never connects.
bool RemoteHostInForce();
// QUIT and close; the next forwarded call connects again.
void CloseRemoteConnection();

// No forwarding from a program whose file name begins with "tw" and ends
// with "d" (the administration service itself): under "ForceDefaultHost"
// it would otherwise call itself.
bool ExecutableNeverForwards();

// For tests: time-outs, and where the executable's file name comes from
// (nullptr: the running program).
struct RemoteTimeouts {
  uint32_t connectMs = 5000;
  uint32_t sendMs = 10000;
  uint32_t receiveMs = 60000;
};
void SetRemoteTimeouts(const RemoteTimeouts& timeouts);
RemoteTimeouts GetRemoteTimeouts();
void SetExecutableNameSource(std::string (*source)());

}  // namespace tw::remote
