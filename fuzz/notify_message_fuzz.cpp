// Hostile notification messages as `twstore relay` and `twstore listen`
// take them off a connection, in pieces of hostile sizes and timing, then
// as the relay splits and routes them and as a listener parses and shows
// them. The first four bytes choose the limits and how the rest arrives.
// Whatever the bytes: what is kept never exceeds the limits, a refusal is
// final, a message taken whole is exactly the bytes sent, the relay's split
// gives back those bytes, a socket path stays inside the runtime directory,
// and a listener's line is one line.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "notify/notification_message.h"
#include "platform/notify_framing.h"
#include "platform/notify_socket.h"

namespace {

constexpr const char* kRuntime = "/fuzz-run/twstore";

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckRouting(const std::string& message) {
  std::string protocol, rest;
  if (!tw::platform::SplitRelayedMessage(message, protocol, rest)) {
    Check(message.empty() || message[0] == '\n' || message.find('\n') == std::string::npos);
    return;
  }
  Check(!protocol.empty() && protocol.find('\n') == std::string::npos && protocol + "\n" + rest == message);
  const std::string socket = tw::platform::NotifySocketPath(protocol);
  if (socket.empty()) return;
  const std::string prefix = std::string(kRuntime) + "/", suffix = ".sock";
  Check(socket.size() > prefix.size() + suffix.size() && socket.compare(0, prefix.size(), prefix) == 0 &&
        socket.compare(socket.size() - suffix.size(), suffix.size(), suffix) == 0);
  const std::string name = socket.substr(prefix.size(), socket.size() - prefix.size() - suffix.size());
  Check(name != "." && name != "..");
  for (char c : name) Check((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.');

  tw::NotificationMessage parsed;
  tw::ParseNotificationMessage(rest, parsed);
  Check(parsed.payload.size() <= tw::kMaxPayloadLines);
  for (const std::string& field : parsed.fields) Check(field.size() <= tw::kMessageFieldCapacity);
  const std::string line = tw::NotificationMessageLine(rest);
  Check(line.size() <= 4 * rest.size());
  for (unsigned char c : line) Check(c >= 0x20 || c == '\t');
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TW_NOTIFY_DIR", kRuntime, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Small limits, so that every refusal is within reach of short inputs.
  tw::platform::FrameLimits limits;
  limits.maxBytes = 1 + (data[0] | (data[1] & 0x0F) << 8);
  limits.maxPieces = 1 + data[1] / 16;
  limits.timeoutMs = 1 + data[2] * 4u;
  const uint32_t stepMs = data[3] & 0x0F;
  const size_t longestPiece = 1 + data[3] / 16 * 37;
  const std::string_view stream(reinterpret_cast<const char*>(data) + 4, size - 4);

  tw::platform::MessageFrame frame;
  uint64_t elapsed = 0;
  uint32_t state = data[0] * 2654435761u + size;
  size_t at = 0;
  while (at < stream.size() && frame.result == tw::platform::FrameResult::kIncomplete) {
    state = state * 1103515245u + 12345u;
    const size_t piece = std::min(stream.size() - at, 1 + (state >> 8) % longestPiece);
    elapsed += stepMs;
    tw::platform::TakeArrival(frame, tw::platform::Arrival::kPiece, stream.substr(at, piece), elapsed, limits);
    at += piece;
    Check(frame.message.size() <= limits.maxBytes && frame.pieces <= limits.maxPieces + 1);
  }
  const tw::platform::FrameResult beforeClose = frame.result;
  tw::platform::TakeArrival(frame, tw::platform::Arrival::kClose, {}, elapsed, limits);
  if (beforeClose != tw::platform::FrameResult::kIncomplete) {
    Check(frame.result == beforeClose);  // a refusal is final
    const std::string kept = frame.message;
    tw::platform::TakeArrival(frame, tw::platform::Arrival::kPiece, "x", elapsed, limits);
    Check(frame.result == beforeClose && frame.message == kept);
    return 0;
  }
  if (frame.result != tw::platform::FrameResult::kComplete) return 0;
  Check(frame.message == stream);
  CheckRouting(frame.message);
  return 0;
}
