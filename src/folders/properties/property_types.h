// The value type a property name is handed out with in a folder of a given
// type, for callers that ask before they read.
#pragma once
#include <cstdint>
#include <string_view>

namespace tw {

// Folder types 0 to 4 look in their own table and answer 1 (8-bit text) for
// a name it does not know. Any other type (25 and the contact groups
// included) tries the mail, contact and calendar tables in turn and answers
// 0 when none knows the name.
uint32_t PropertyValueType(std::string_view name, uint32_t folderType);

}  // namespace tw
