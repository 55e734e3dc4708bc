// Items with properties of any bytes and any length, some of them views into
// the input: every copy into the fixed-layout record stays inside its fields
// and terminates every text; a sorted index keeps its orders consistent.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "index/items/index_item.h"
#include "index/file/index_file_format.h"
#include "index/items/item_record.h"
#include "index/items/sorted_store_index.h"

namespace {

constexpr std::string_view kNames[] = {"ID",   "UID",  "SUBJECT", "FLAGSTATUS", "FROM", "TO",      "CC",
                                       "SIZE", "SEQ",  "IDX",     "RECEIVED",   "READ", "TW_STATUS"};

void CheckTerminated(const char* field, size_t size) {
  if (std::memchr(field, '\0', size) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  tw::SORTEDSTOREINDEXTYPE index;
  // Fields: a name selector byte, a length byte pair, then the value.
  size_t at = 0;
  std::vector<tw::IndexItem> items;
  items.push_back(tw::IndexItem::New());
  while (at + 3 <= input.size()) {
    const unsigned char selector = static_cast<unsigned char>(input[at]);
    const size_t length = (static_cast<unsigned char>(input[at + 1]) << 8) | static_cast<unsigned char>(input[at + 2]);
    at += 3;
    const std::string_view value = std::string_view(input).substr(at, length);
    at += value.size();
    if (selector == 0xFF) {
      // Inserted, the index owns the item; refused (a duplicate ID or UID),
      // the handle still does.
      if (index.InsertAtEnd(items.back().Container())) items.back().Disown();
      items.push_back(tw::IndexItem::New());
      continue;
    }
    const std::string_view name = selector < std::size(kNames) ? kNames[selector] : value.substr(0, 8);
    if (selector & 0x40)
      items.back().Container()->SetTextView(name, value);
    else
      items.back().Set(name, value);
  }
  auto record = std::make_unique<StoreItemRecord>();
  for (int level : {1, 0}) {
    std::memset(record.get(), 'x', sizeof(StoreItemRecord));
    tw::CopyItemToRecord(items.back().Container(), level, *record);
    if (level == 1) {
      CheckTerminated(record->subject, sizeof record->subject);
      CheckTerminated(record->from, sizeof record->from);
      CheckTerminated(record->to, sizeof record->to);
      CheckTerminated(record->cc, sizeof record->cc);
      CheckTerminated(record->received, sizeof record->received);
      CheckTerminated(record->messageDate, sizeof record->messageDate);
    }
    CheckTerminated(record->flags, sizeof record->flags);
  }
  tw::FolderDetails details = index.GetFolderDetails();
  if (details.counters[tw::FolderDetails::kItems] != index.Count()) std::abort();
  const tw::LastUid lastUid = tw::ParseLastUidValue(input);
  if (lastUid.damaged && lastUid.value != 0) std::abort();
  return 0;
}
