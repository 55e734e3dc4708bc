#include "connection.h"

#include <chrono>
#include <string>

#include "platform/service_process.h"
#include "services/remote/request_stream.h"

namespace tw::admind {
namespace {

using Clock = std::chrono::steady_clock;

uint32_t MillisecondsUntil(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<uint32_t>(left) : 0;
}

}  // namespace

void ServeConnection(platform::TcpStream& stream, remote::AdminSession& session, const ConnectionLimits& limits) {
  remote::RequestStream requests;
  std::string request;
  // The idle time counts from the last answer: a peer that trickles a
  // request byte by byte is as idle as a silent one.
  Clock::time_point idleEnd = Clock::now() + std::chrono::milliseconds(limits.idleTimeoutMs);
  for (;;) {
    const remote::RequestStream::Next next = requests.Take(request);
    if (next == remote::RequestStream::Next::kTooLong) return;
    if (next == remote::RequestStream::Next::kNeedMore) {
      const uint32_t left = MillisecondsUntil(idleEnd);
      if (left == 0) return;
      std::string piece;
      if (stream.ReceiveSome(piece, 16384, left) != platform::TcpStream::Receive::kData) return;
      requests.Add(piece);
      continue;
    }
    platform::SetProcessDeadline(limits.requestDeadlineSeconds);
    const remote::SessionReply reply = session.Handle(request);
    const bool sent = stream.SendAll(reply.text, limits.sendTimeoutMs);
    platform::SetProcessDeadline(0);
    if (!sent || reply.close) return;
    idleEnd = Clock::now() + std::chrono::milliseconds(limits.idleTimeoutMs);
  }
}

}  // namespace tw::admind
