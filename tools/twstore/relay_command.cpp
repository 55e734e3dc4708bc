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
constexpr size_t kMaxPieces = platform::FrameLimits{}.maxPieces;
constexpr uint32_t kAcceptSliceMs = 200;  // how soon a signal is noticed

// The sender waits half the "Notify Timeout" to send and all of it for the
// reply: the message must arrive and the local exchange end within that
// (100, 100 and 250 ms locally at the default 500).
struct RelayTimeouts {
  uint32_t readMs;
  platform::DeliveryTimeouts local;
  uint32_t replyMs;
};
RelayTimeouts ForNotifyTimeout(uint32_t senderReplyMs) {
  return {senderReplyMs / 2, {senderReplyMs / 5, senderReplyMs / 5, senderReplyMs / 2}, senderReplyMs / 2};
}

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

  const RelayTimeouts timeouts = ForNotifyTimeout(NotifyTimeout());
  WatchStopSignals();
  int handled = 0;
  while (!StopRequested() && (request.count <= 0 || handled < request.count)) {
    platform::NotifyConnection connection = server.Accept(kAcceptSliceMs);
    if (!connection.IsOpen()) continue;
    std::string received, protocol, message;
    const platform::FrameResult read = connection.ReadMessage(received, {kMaxRelayed, kMaxPieces, timeouts.readMs});
    ++handled;
    if (read != platform::FrameResult::kComplete) {
      out << "refused a message: " << platform::FrameRefusal(read) << std::endl;
      connection.Write("NO\n", timeouts.replyMs);
      continue;
    }
    const std::string socketPath =
        platform::SplitRelayedMessage(received, protocol, message) ? platform::NotifySocketPath(protocol) : "";
    if (socketPath.empty()) {
      out << "refused a message without a usable protocol" << std::endl;
      connection.Write("NO\n", timeouts.replyMs);
      continue;
    }
    const uint32_t result = platform::DeliverToUnixSocket(socketPath, message, timeouts.local);
    connection.Write(result == 0 ? "OK\n" : "NO\n", timeouts.replyMs);
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
