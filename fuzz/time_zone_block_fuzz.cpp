// Calendar texts of any bytes read as time-zone blocks: the first line of
// the input, when it starts with "@", is the TZID asked for and the local
// time the zone is applied to. Whatever reads, the offset is a valid offset
// text or none, and never a crash.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "calendar/date_texts.h"
#include "calendar/time_zone_block.h"
#include "calendar/time_zone_offsets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string_view tzid;
  std::string_view local = "20240310T023000";
  if (!text.empty() && text.front() == '@') {
    const size_t end = text.find('\n');
    const std::string_view head = text.substr(1, end == std::string_view::npos ? text.size() : end - 1);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const size_t blank = head.find(' ');
    tzid = head.substr(0, blank);
    if (blank != std::string_view::npos) local = head.substr(blank + 1);
  }
  const auto zone = tw::VCalendar_ParseTimeZoneBlock(text, tzid);
  if (!zone) return 0;
  if (zone->name.size() > tw::kTimeZoneNameLimit) std::abort();
  const auto fields = tw::ReadDateTimeText(local);
  if (fields && fields->year <= 9999) {
    tw::SystemTime at;
    at.year = static_cast<uint16_t>(fields->year);
    at.month = static_cast<uint16_t>(fields->month);
    at.day = static_cast<uint16_t>(fields->day);
    at.hour = static_cast<uint16_t>(fields->hour);
    at.minute = static_cast<uint16_t>(fields->minute);
    const std::string offset = tw::VCalendar_GetApplicableOffsetString(*zone, at);
    if (!offset.empty() && tw::ReadOffsetText(offset).read != tw::OffsetRead::kMinutes) std::abort();
    if (offset.size() > tw::kZoneOffsetTextLimit) std::abort();
  }
  const std::string applied = tw::VCAL_ApplyTimeZoneSection(local, *zone);
  if (applied.size() > local.size() + tw::kZoneOffsetTextLimit) std::abort();
  return 0;
}
