// twstore relay: the receiving end of notifications that other servers send
// over TCP. Each message names its protocol; the relay hands it to that
// protocol's listener on this host and answers as the listener did, so a
// sender prunes a listener that is gone here just as it would locally.
#include <string>

#include "commands.h"
#include "notify/notify_settings.h"
#include "platform/notify_socket.h"
#include "stop_signal.h"

namespace tw::cli {

namespace {

constexpr size_t kMaxRelayed = 64 * 1024 + 256;
constexpr uint32_t kAcceptSliceMs = 200;  // how soon a signal is noticed
// The sender waits 250 ms to send and 500 ms for the reply: the message
// must arrive and the local exchange end within that.
constexpr uint32_t kReadTimeoutMs = 250;
constexpr platform::DeliveryTimeouts kLocalTimeouts{100, 100, 250};
constexpr uint32_t kReplyTimeoutMs = 250;

}  // namespace

int Relay(const RelayRequest& request, std::ostream& out, std::ostream& err) {
  if (request.port < -1 || request.port > 0xFFFF) {
    err << "twstore: the port must be 0 to 65535\n";
    return 2;
  }
  const std::string runtime = platform::NotifyRuntimeDirectory();
  uint16_t port = request.port < 0 ? NotifyPort() : static_cast<uint16_t>(request.port);
  platform::NotifySocketServer server;
  if (!server.ListenTcp(request.bind, port)) {
    err << "twstore: cannot listen on " << (request.bind.empty() ? "*" : request.bind) << ":" << port
        << " (in use, or not an address of this host)\n";
    return 1;
  }
  out << "relaying on " << (request.bind.empty() ? "*" : request.bind) << ":" << port << " to " << runtime
      << std::endl;

  WatchStopSignals();
  int handled = 0;
  while (!StopRequested() && (request.count <= 0 || handled < request.count)) {
    platform::NotifyConnection connection = server.Accept(kAcceptSliceMs);
    std::string received, protocol, message;
    if (!connection.IsOpen() || !connection.ReadMessage(received, kMaxRelayed, kReadTimeoutMs)) continue;
    ++handled;
    const std::string socketPath =
        platform::SplitRelayedMessage(received, protocol, message) ? platform::NotifySocketPath(protocol) : "";
    if (socketPath.empty()) {
      out << "refused a message without a usable protocol" << std::endl;
      connection.Write("NO\n", kReplyTimeoutMs);
      continue;
    }
    const uint32_t result = platform::DeliverToUnixSocket(socketPath, message, kLocalTimeouts);
    connection.Write(result == 0 ? "OK\n" : "NO\n", kReplyTimeoutMs);
    if (result == 0) {
      out << protocol << ": accepted" << std::endl;
    } else {
      out << protocol << ": not delivered (error " << result << ")" << std::endl;
    }
  }
  server.Close();
  return 0;
}

}  // namespace tw::cli
