// How a reconcile brings an index up to date with the item files of its
// folder, one entry per kind of item file. The parts that index each kind
// fill these in; an empty entry indexes nothing and touches no file.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

class SORTEDSTOREINDEXTYPE;
class IndexItemPropertyContainer;

struct ReconcileScans {
  // Each runs with the folder's block already held. The mail entry also
  // saves the index and writes the folder's counters; false when the save
  // failed.
  bool (*mail)(SORTEDSTOREINDEXTYPE& index, const std::string& folder) = nullptr;
  void (*contacts)(SORTEDSTOREINDEXTYPE& index, const std::string& folder) = nullptr;
  void (*calendar)(SORTEDSTOREINDEXTYPE& index, const std::string& folder) = nullptr;
  // Reads one vCalendar text into an item (tasks also get TW_STATUS). The
  // calendar and tasks file walk deletes each file it reads, so it stays
  // off while this is unset.
  void (*readCalendarText)(IndexItemPropertyContainer& item, std::string_view text, uint32_t folderType) = nullptr;
};

ReconcileScans& Reconcile();

}  // namespace tw
