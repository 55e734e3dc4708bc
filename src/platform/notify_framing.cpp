#include "platform/notify_framing.h"

namespace tw::platform {

FrameResult TakeArrival(MessageFrame& frame, Arrival arrival, std::string_view piece, uint64_t elapsedMs,
                        const FrameLimits& limits) {
  if (frame.result != FrameResult::kIncomplete) return frame.result;
  if (arrival == Arrival::kFailure) return frame.result = FrameResult::kBroken;
  // A close or a piece that came too late counts as slow as silence does:
  // the caller's deadline has passed either way.
  if (arrival == Arrival::kSilence || elapsedMs > limits.timeoutMs) return frame.result = FrameResult::kTooSlow;
  if (arrival == Arrival::kClose) return frame.result = FrameResult::kComplete;
  if (piece.empty()) return frame.result;
  if (++frame.pieces > limits.maxPieces) return frame.result = FrameResult::kTooManyPieces;
  if (piece.size() > limits.maxBytes - frame.message.size()) return frame.result = FrameResult::kTooLarge;
  frame.message.append(piece);
  return frame.result;
}

const char* FrameRefusal(FrameResult result) {
  switch (result) {
    case FrameResult::kIncomplete: return "incomplete";
    case FrameResult::kComplete: return "complete";
    case FrameResult::kTooLarge: return "too large";
    case FrameResult::kTooManyPieces: return "split into too many pieces";
    case FrameResult::kTooSlow: return "too slow";
    case FrameResult::kBroken: return "connection failed";
  }
  return "unknown";
}

bool SplitRelayedMessage(std::string_view received, std::string& protocol, std::string& message) {
  const size_t end = received.find('\n');
  if (end == std::string_view::npos || end == 0) return false;
  protocol.assign(received.substr(0, end));
  message.assign(received.substr(end + 1));
  return true;
}

}  // namespace tw::platform
