// The index keeps every value as text; these give JSON output the values'
// own types.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::cli {

// A decimal text of digits only as a number; none for anything else.
std::optional<uint64_t> NumberFromText(std::string_view text);

// The index keeps a message's dates as this machine's local time
// ("2024-06-03T12:00:00"); JSON readers get UTC ("2024-06-03T10:00:00Z").
// Empty when the text is no date or the local time cannot be placed.
std::string UtcFromLocalText(std::string_view local);

// What an index value of this name is, by the name (any case).
enum class IndexValueKind { kText, kNumber, kLocalDate };
IndexValueKind KindOfIndexValue(std::string_view indexName);

}  // namespace tw::cli
