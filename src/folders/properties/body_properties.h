// Properties read from an item's own file on each request instead of from
// the index (long-text mark 1): the body of a file-root item, the body and
// vCalendar text of calendar and task items, and their subject. The file is
// only read.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "index/items/index_item.h"

namespace tw {

// The longest header value handed back.
inline constexpr size_t kLongestHeaderValue = 32767;

// The value of the header `name` (compared without regard to case; ":" is
// added unless the name holds one) in the file's header, continuation lines
// appended with their leading blank or tab, at most kLongestHeaderValue
// characters. False when the file has no such header; a file that cannot be
// opened also prints why.
bool ReadHeaderValue(const std::string& path, std::string_view name, std::string& value);

// The same over a header already in memory (no message on failure).
bool ScanHeaderValue(std::string_view file, std::string_view name, std::string& value);

// Reads the property `name` from the item's file and converts the text from
// `storageType` to `valueType`: 2 with a new block (freed with Memory_Free)
// and its length; 0xFFFFFFFF with none when the file or the part is not
// there; 1 with none when the text was found but does not convert.
// "PR_SUBJECT" is the file's "Subject" header; "PR_BODY" its plain text,
// "PR_BODY_HTML" its HTML and any other name its calendar text.
uint32_t ReadBodyProperty(const IndexItem& item, std::string_view name, uint32_t storageType, uint32_t valueType,
                          void** value, uint32_t* length);

}  // namespace tw
