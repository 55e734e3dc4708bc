// The thirteen folder counters (persisted as _FOLDER.DAT). Only the indexes
// named below are ever filled; the others stay 0.
#pragma once
#include <cstdint>

namespace tw {

struct FolderDetails {
  static constexpr int kAnswered = 3;   // items with \ANSWERED
  static constexpr int kFlagged = 4;    // items with \FLAGGED
  static constexpr int kFirstSeen = 5;  // 1-based ordinal (UID order) of the first \SEEN item, 0 if none
  static constexpr int kItems = 6;      // number of items
  static constexpr int kSeen = 7;       // items with \SEEN
  static constexpr int kRecent = 8;     // items with \RECENT
  static constexpr int kLastUid = 11;   // LASTUID
  static constexpr int kCount = 13;

  uint32_t counters[kCount] = {};
};

}  // namespace tw
