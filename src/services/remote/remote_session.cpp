#include "services/remote/remote_session.h"

#include "common/text.h"
#include "frame/seams.h"
#include "platform/library_loader.h"
#include "platform/notify_socket.h"
#include "services/remote/host_settings.h"
#include "services/remote/remote_messages.h"

namespace tw::remote {
namespace {

constexpr size_t kHostNameLimit = 1023;
// A loopback name that means "this machine": calls run here.
constexpr std::string_view kLocalHost = "127.0.0.1";
constexpr size_t kPingReplyLimit = 2048;

using Received = platform::TcpClientConnection::Received;

struct Session {
  std::mutex mutex;
  std::string currentHost;
  // Set only once AUTH and LOAD succeeded on the open connection.
  std::string connectedHost;
  std::string loadedLibrary;
  platform::TcpClientConnection connection;
  RemoteTimeouts timeouts;
  std::string (*executableName)() = nullptr;
};

Session& TheSession() {
  static Session* session = new Session;  // never destroyed: usable from exit-time code
  return *session;
}

void Forget(Session& s) {
  s.connection.Close();
  s.connectedHost.clear();
  s.loadedLibrary.clear();
}

bool Ask(Session& s, std::string_view request, std::string& reply, size_t limit) {
  if (!s.connection.SendAll(request, s.timeouts.sendMs) ||
      s.connection.ReceiveUntil(reply, kMessageEnd, limit, s.timeouts.receiveMs) != Received::kComplete) {
    Forget(s);
    return false;
  }
  return true;
}

bool Ping(Session& s) {
  std::string reply;
  return Ask(s, PingRequest(), reply, kPingReplyLimit);
}

bool Authenticate(Session& s, const HostSettings& settings, std::string_view library) {
  std::string reply;
  if (!Ask(s, AuthRequest(settings.protocol, settings.credentials), reply, kShortReplyLimit) ||
      !IsSuccessReply(reply))
    return false;
  return library.empty() || (Ask(s, LoadRequest(library), reply, kShortReplyLimit) && IsSuccessReply(reply));
}

// The host a call goes to now; empty when it runs here.
std::string EffectiveHost(Session& s) {
  if (ExecutableNeverForwards()) return {};
  std::string host = s.currentHost;
  if (host.empty() && ForceDefaultHost()) host = kDefaultHostName;
  return host == kLocalHost ? std::string() : host;
}

void Quit(Session& s) {
  if (s.connection.IsOpen()) s.connection.SendAll(QuitRequest(), s.timeouts.sendMs);
  Forget(s);
}

void CloseAtUnInit() { CloseRemoteConnection(); }

__attribute__((constructor(101))) void InstallAtLoad() { Seams().closeRemoteConnection = &CloseAtUnInit; }

}  // namespace

SessionLock::SessionLock() : lock_(TheSession().mutex) {}

RemoteState CheckRemote(const SessionLock&, std::string_view library) {
  Session& s = TheSession();
  const std::string host = EffectiveHost(s);
  if (host.empty()) {
    Quit(s);
    return RemoteState::kLocal;
  }
  if (s.connection.IsOpen() && EqualsNoCase(host, s.connectedHost) && EqualsNoCase(library, s.loadedLibrary)) {
    if (Ping(s)) return RemoteState::kConnected;
  } else {
    Quit(s);  // another host or library: leave the old service politely
  }
  Forget(s);
  const std::optional<HostSettings> settings = ReadHostSettings(host);
  if (!settings || s.connection.Connect(settings->address, settings->port, s.timeouts.connectMs) != 0 ||
      !Authenticate(s, *settings, library)) {
    Forget(s);
    return RemoteState::kUnreachable;
  }
  s.connectedHost = host;
  s.loadedLibrary = library;
  return RemoteState::kConnected;
}

bool Exchange(const SessionLock&, std::string_view request, std::string& reply) {
  Session& s = TheSession();
  if (!s.connection.IsOpen()) return false;
  const bool answered = Ask(s, request, reply, kReplyLimit);
  // A reply with bytes after it closed the connection: forget its host too.
  if (!s.connection.IsOpen()) Forget(s);
  return answered;
}

void SetCurrentHost(std::string_view host) {
  SessionLock lock;
  TheSession().currentHost = std::string(host.substr(0, kHostNameLimit));
}

bool RemoteHostInForce() {
  SessionLock lock;
  return !EffectiveHost(TheSession()).empty();
}

void CloseRemoteConnection() {
  SessionLock lock;
  Quit(TheSession());
}

bool ExecutableNeverForwards() {
  auto source = TheSession().executableName;
  static const std::string running = platform::HostExecutablePath();
  std::string name = source ? source() : running;
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return StartsWithNoCase(name, "tw") && EndsWithNoCase(name, "d");
}

void SetRemoteTimeouts(const RemoteTimeouts& timeouts) {
  SessionLock lock;
  TheSession().timeouts = timeouts;
}

RemoteTimeouts GetRemoteTimeouts() {
  SessionLock lock;
  return TheSession().timeouts;
}

void SetExecutableNameSource(std::string (*source)()) {
  SessionLock lock;
  TheSession().executableName = source;
}

}  // namespace tw::remote
