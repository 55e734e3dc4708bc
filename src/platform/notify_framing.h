// How a notification message is taken off a connection, apart from the
// socket so that it can be tested and fuzzed piece by piece: the message is
// every byte that arrives until the peer closes its sending side, and it is
// refused as soon as it is too large, arrives in too many pieces, or takes
// too long. A refused message is never read further, so a hostile peer
// costs a bounded amount of memory and time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::platform {

enum class FrameResult {
  kIncomplete,     // more is to come
  kComplete,       // the peer closed its side: the message is whole
  kTooLarge,       // more than maxBytes
  kTooManyPieces,  // more than maxPieces reads with data
  kTooSlow,        // the time ran out before the peer closed
  kBroken,         // the connection failed
};

struct FrameLimits {
  size_t maxBytes = 64 * 1024;
  // A sender hands over its message in one send; even a small TCP segment
  // size cuts 64 KiB into fewer pieces than this.
  size_t maxPieces = 1024;
  uint32_t timeoutMs = 1000;
};

// One message being taken off a connection.
struct MessageFrame {
  std::string message;
  size_t pieces = 0;
  FrameResult result = FrameResult::kIncomplete;
};

// What the connection gave: a piece of the message, the peer's close, or
// (`silence`) nothing before the time below ran out.
enum class Arrival { kPiece, kClose, kSilence, kFailure };

// Adds what arrived `elapsedMs` after the read began. Once the result is
// other than kIncomplete it stays, and nothing more is taken.
FrameResult TakeArrival(MessageFrame& frame, Arrival arrival, std::string_view piece, uint64_t elapsedMs,
                        const FrameLimits& limits);

// Why a message was refused, for a log line: "too large" and the like.
const char* FrameRefusal(FrameResult result);

// A message as a relay receives it over TCP, split into protocol and message;
// false when it has no protocol line.
bool SplitRelayedMessage(std::string_view received, std::string& protocol, std::string& message);

}  // namespace tw::platform
