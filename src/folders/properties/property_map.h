// How the item interface's property names (PR_... and TW_ITEM_...) map onto
// the names an index keeps, and with which value type a property is handed
// out and which type the index holds it in. Names compare without regard to
// letter case.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tw {

// Value and storage type codes.
inline constexpr uint32_t kValueText = 1;          // 8-bit text in a 1024-byte block
inline constexpr uint32_t kValueTextOnly = 2;      // 8-bit text, converts only to itself
inline constexpr uint32_t kValueFileTime = 3;      // 100 ns units since 1601-01-01 UTC
inline constexpr uint32_t kValueDateText = 4;      // date and time as text
inline constexpr uint32_t kValueTextOnly5 = 5;     // 8-bit text, converts only to itself
inline constexpr uint32_t kValueUnixText = 6;      // decimal seconds since 1970-01-01
inline constexpr uint32_t kValueInteger = 7;       // signed 32-bit
inline constexpr uint32_t kValueLongText = 8;      // 8-bit text of any length
inline constexpr uint32_t kValueDouble = 9;
inline constexpr uint32_t kValueTruth = 10;        // 32-bit 0 or 1
inline constexpr uint32_t kValueDateText11 = 11;   // date text; only ever a storage type
inline constexpr uint32_t kValueWord = 12;         // 32-bit value read from text
inline constexpr uint32_t kValueLongText14 = 14;   // 8-bit text of any length
inline constexpr uint32_t kValueWideFrom8 = 15;    // wide text made from 8-bit text
inline constexpr uint32_t kValueWideText = 16;     // 16-bit text of any length

// Long-text marks.
inline constexpr uint32_t kLongTextNone = 0;
inline constexpr uint32_t kLongTextBody = 1;  // read from the item's own file
inline constexpr uint32_t kLongTextFileDate = 2;
inline constexpr uint32_t kLongTextFileType = 3;

// Folder types that select a table.
inline constexpr uint32_t kKindMail = 0;
inline constexpr uint32_t kKindContacts = 1;
inline constexpr uint32_t kKindCalendar = 2;
inline constexpr uint32_t kKindTasks = 3;
inline constexpr uint32_t kKindFileRoot = 4;
inline constexpr uint32_t kKindMailLike = 25;
inline constexpr uint32_t kKindGroups = 54;

struct PropertyDescriptor {
  std::string_view indexName;  // may start with "@": set without the FLAGSTATUS side effect
  uint32_t valueType = 0;
  uint32_t storageType = 0;
  uint32_t longText = kLongTextNone;
};

// The index name without the "@" that only says how it is set.
inline std::string_view StoredName(std::string_view indexName) {
  return !indexName.empty() && indexName.front() == '@' ? indexName.substr(1) : indexName;
}

// ValueTypeSize of the types whose length is that of their text (8, 14,
// 15, 16).
inline constexpr uint32_t kVariableSize = 0xFFFFFFFF;

// The fixed size in bytes of a value of the type, kVariableSize, or 0 for a
// code without a size (which converts to nothing).
uint32_t ValueTypeSize(uint32_t code);
inline bool IsVariableValueType(uint32_t code) { return ValueTypeSize(code) == kVariableSize; }

// The common names, then the mail table.
std::optional<PropertyDescriptor> FindMailProperty(std::string_view name);
// The common names, then the file-root table.
std::optional<PropertyDescriptor> FindFileRootProperty(std::string_view name);
// The common names, then the task table.
std::optional<PropertyDescriptor> FindTaskProperty(std::string_view name);
// The common names, then the contact or calendar table's lookup below.
std::optional<PropertyDescriptor> FindContactProperty(std::string_view name);
std::optional<PropertyDescriptor> FindCalendarProperty(std::string_view name);
// The table of a folder type: mail for 0 and 25, contacts 1, calendar 2,
// tasks 3, file root 4; none for the others.
std::optional<PropertyDescriptor> FindProperty(uint32_t kind, std::string_view name);

// The contact and calendar tables belong to those folder kinds, which hand
// their lookups in here (without the common names, which are tried first).
// A null lookup, and the default, knows no name. Returns the lookups it
// replaces.
using PropertyLookup = std::optional<PropertyDescriptor> (*)(std::string_view name);
struct KindPropertyLookups {
  PropertyLookup contacts = nullptr;
  PropertyLookup calendar = nullptr;
};
KindPropertyLookups SetKindPropertyLookups(KindPropertyLookups lookups);

// One row of a table, for callers that walk them.
struct PropertyMapping {
  std::string_view name;
  PropertyDescriptor descriptor;
};
struct PropertyTable {
  const PropertyMapping* rows;
  size_t count;
  const PropertyMapping* begin() const { return rows; }
  const PropertyMapping* end() const { return rows + count; }
};
PropertyTable CommonPropertyTable();
PropertyTable MailPropertyTable();
PropertyTable FileRootPropertyTable();
PropertyTable TaskPropertyTable();

}  // namespace tw
