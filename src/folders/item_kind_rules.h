// The steps of the item calls that differ by kind of item: contacts (1),
// calendar (2) and tasks (3) keep items in files of their own and follow
// rules of their own. The parts that handle each kind fill in its entry; an
// empty step answers as for a property or item that is not there and
// changes nothing, deletes no file. The kinds' property tables are handed
// in apart, through SetKindPropertyLookups (property_map.h).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "twstore.h"

namespace tw {

class IndexItem;
struct TLSStoreIndex;

struct ItemKindRules {
  // A property of an item of this kind: 2 with a new block, 0xFFFFFFFF none.
  uint32_t (*getProperty)(IndexItem& item, std::string_view name, void** value, uint32_t* length) = nullptr;
  // Sets a property (the record may be null for a bare item handle): 1 set.
  uint32_t (*setProperty)(STOREINDEXTYPE* record, IndexItem& item, std::string_view id, std::string_view name,
                          std::string_view value) = nullptr;
  // Reads item `id` from its own file into `item` (opening one item).
  bool (*loadItem)(STOREINDEXTYPE& record, IndexItem& item, std::string_view id) = nullptr;
  // Removes item `id` from the index and its file from the folder.
  uint32_t (*deleteItem)(STOREINDEXTYPE& record, IndexItem& item, std::string_view id) = nullptr;
  // Writes the item back to its own file (a commit of the item, the
  // write-back of changed items before a save, and save-to-store).
  bool (*writeItem)(STOREINDEXTYPE& record, IndexItem& item) = nullptr;
};

// A folder of type 5 is one calendar file read through a reader the thread
// keeps instead of an index.
struct CalendarFileRules {
  // Opens the reader on a file path or an "http://" address: the result of
  // opening the folder.
  uint32_t (*open)(TLSStoreIndex& state, const std::string& source) = nullptr;
  // Moves to the first (or next) event: 1 when there is one.
  uint32_t (*readEvent)(TLSStoreIndex& state, bool first) = nullptr;
  uint32_t (*getProperty)(TLSStoreIndex& state, std::string_view name, void** value, uint32_t* length) = nullptr;
  // Closes and frees the reader.
  void (*close)(TLSStoreIndex& state) = nullptr;
};

// True for the kinds with rules of their own (1, 2 and 3).
bool HasOwnRules(uint32_t kind);
// The entry of a kind with its own rules; null for the others.
ItemKindRules* KindRules(uint32_t kind);
CalendarFileRules& CalendarFile();

}  // namespace tw
