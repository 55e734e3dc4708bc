#include "index_values.h"

#include <charconv>
#include <ctime>

#include "calendar/date_texts.h"
#include "common/text.h"

namespace tw::cli {

std::optional<uint64_t> NumberFromText(std::string_view text) {
  uint64_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string UtcFromLocalText(std::string_view local) {
  const std::optional<uint64_t> asIfUtc = FileTimeFromIsoText(local);
  if (!asIfUtc) return {};
  const int64_t wall = UnixSecondsFromFileTime(*asIfUtc);
  const int64_t days = (wall >= 0 ? wall : wall - (kDaySeconds - 1)) / kDaySeconds;
  const int64_t secondOfDay = wall - days * kDaySeconds;
  int64_t year = 0, month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  std::tm fields{};
  fields.tm_year = static_cast<int>(year - 1900);
  fields.tm_mon = static_cast<int>(month - 1);
  fields.tm_mday = static_cast<int>(day);
  fields.tm_hour = static_cast<int>(secondOfDay / 3600);
  fields.tm_min = static_cast<int>(secondOfDay / 60 % 60);
  fields.tm_sec = static_cast<int>(secondOfDay % 60);
  fields.tm_isdst = -1;  // the zone's rules decide
  const std::time_t utc = std::mktime(&fields);
  if (utc == static_cast<std::time_t>(-1)) return {};
  const std::optional<uint64_t> fileTime = FileTimeFromUnixSeconds(static_cast<int64_t>(utc));
  return fileTime ? IsoTextFromFileTime(*fileTime) + "Z" : std::string();
}

IndexValueKind KindOfIndexValue(std::string_view indexName) {
  for (const char* name : {"UID", "SEQ", "SIZE", "READ", "STATE", "IMPORTANCE", "ATTACHMENTS"})
    if (EqualsNoCase(indexName, name)) return IndexValueKind::kNumber;
  for (const char* name : {"MESSAGEDATE", "RECEIVED"})
    if (EqualsNoCase(indexName, name)) return IndexValueKind::kLocalDate;
  return IndexValueKind::kText;
}

}  // namespace tw::cli
