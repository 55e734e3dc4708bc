// The bytes of `_index.xml`, shared by both serialisers: the root tags, the
// LASTUID forms, value escaping and the properties an element stores.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/items/property_registry.h"

namespace tw {

class IndexItemPropertyContainer;

inline constexpr std::string_view kRootStartPrefix = "<BASEELEMENT LASTUID=\"x";  // 23 bytes
inline constexpr size_t kRootStartLength = 33;
inline constexpr size_t kLastUidOffset = 23;
inline constexpr std::string_view kRootEnd = "</BASEELEMENT>\r\n";
inline constexpr std::string_view kRootEndTag = "</BASEELEMENT>";

// `<BASEELEMENT LASTUID="x0000001a">` for 26.
std::string FormatRootStart(uint32_t lastUid);
// Eight lowercase hexadecimal digits.
std::string FormatLastUidDigits(uint32_t lastUid);

struct LastUid {
  bool found = false;
  bool newFormat = false;  // "x" + hexadecimal
  // Found, but not a number of its base within 0 to 4294967294 ("-5", past
  // 32 bits, stray characters): damage; `value` is then 0 and means nothing.
  bool damaged = false;
  uint32_t value = 0;
};
// Finds `LASTUID="` in `text` and reads the value up to the next quote:
// "x" + hexadecimal (new format), "0..." hexadecimal or else decimal (old).
LastUid ParseLastUid(std::string_view text);
// The value text alone, by the same rules.
LastUid ParseLastUidValue(std::string_view value);

// Appends `value` escaped for an element's text: UTF-8 repaired first when
// `validUtf8`, then &, < and >, then character references for UTF-16 code
// units outside the characters XML allows.
void AppendEscaped(std::string& out, std::string_view value, bool validUtf8);
// Character references (each one byte: the number's low 8 bits), then
// &lt;, &gt; and &amp;, each in a pass of its own.
std::string Unescape(std::string_view text);
// The same into `out` (its storage is reused).
void UnescapeInto(std::string_view text, std::string& out);
// Every byte that does not start a well-formed UTF-8 sequence, and every
// control byte but tab, line feed and carriage return, becomes a space.
std::string RepairUtf8(std::string_view value);
// Offset of the first byte that does not start a well-formed UTF-8
// sequence; npos when there is none.
size_t FirstInvalidUtf8(std::string_view text);

// True for an ID or UID attribute made only of '-': a dead element.
bool IsDeadValue(std::string_view value);

// True for a name a child tag can carry and a reader reads back as the same
// property: no blanks, controls or markup bytes, and not one a reader takes
// for the root or an element.
bool IsWritablePropertyName(std::string_view name);
// A name an XML 1.0 parser takes for an element name (ASCII letters, "_"
// and ":" first, then digits, "." and "-" too; any well-formed UTF-8 above
// ASCII).
bool IsXmlName(std::string_view name);

// The properties an element stores as children, in ascending byte order of
// their names: every writable registered name but ID, UID, SEQ and IDX.
std::vector<std::pair<std::string, PropertyKey>> StoredProperties();

// Appends the element of `item` (`properties` from StoredProperties).
// The ID is written as it is unless `escapeId` (a document parser reads
// attributes with their references decoded).
void AppendElement(std::string& out, const IndexItemPropertyContainer& item,
                   const std::vector<std::pair<std::string, PropertyKey>>& properties, bool validUtf8,
                   bool escapeId = false);

}  // namespace tw
