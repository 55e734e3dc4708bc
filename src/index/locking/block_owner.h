// The owner record a taker writes into an index or calendar block file, and
// what a waiter concludes from it:
//
//   kind=<held|marker> host=<host name> boot=<boot id> pid=<pid> start=<ticks>\n
//
// A held block keeps its creating handle, and so its lock, until release,
// which deletes the file before closing it: a held block whose lock nobody
// holds was left by a holder that died. A marker block keeps no handle; the
// record alone tells whether its owner still runs, and only on the owner's
// own host in the same boot.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

enum class BlockKind { Held, Marker };

struct BlockOwner {
  BlockKind kind = BlockKind::Marker;
  std::string host;
  std::string boot;
  uint64_t pid = 0;
  uint64_t start = 0;  // clock ticks since boot
};

// Longest record written or read.
inline constexpr size_t kMaxOwnerRecord = 400;

// This process's record; "" when a fact about it cannot be had, which
// leaves the block to the timed rule.
std::string OwnOwnerRecord(BlockKind kind);

// False for anything but exactly one well-formed record.
bool ParseOwnerRecord(std::string_view text, BlockOwner& owner);

enum class BlockState {
  Gone,       // the file is not there any more
  Busy,       // a live holder keeps it locked
  LiveOwner,  // a marker whose owner still runs: never broken
  Orphan,     // its holder is gone: to be taken at once
  Unknown,    // nothing tells: the timed rule applies
};

// The state of an unlocked block file with this content.
BlockState JudgeOwnerRecord(std::string_view content);

}  // namespace tw
