// Date-time texts and offset texts of any bytes: the reader accepts only
// fields in range, a converted time reads back from its ISO text, and offset
// texts read back from what they write.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "calendar/date_texts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // A NUL, when there is one, separates the date-time from an offset text.
  const size_t split = input.find('\0');
  const std::string_view text = input.substr(0, split);
  const std::string_view offset = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  if (const auto f = tw::ReadDateTimeText(text)) {
    if (f->year < 1601 || f->year > 9999 || f->month < 1 || f->month > 12 || f->day < 1 || f->day > 31 ||
        f->hour > 23 || f->minute > 59 || f->second > 60)
      std::abort();
    if (f->zone == tw::DateTimeZone::kOffset && (!f->hasTime || f->offsetMinutes < -1439 || f->offsetMinutes > 1439))
      std::abort();
  }
  // Up to the last second of 9999, which an ISO text still holds.
  const auto fileTime = tw::FileTimeFromDateTimeText(text, offset);
  if (fileTime && *fileTime <= 2650467743990000000u) {
    if (tw::FileTimeFromIsoText(tw::IsoTextFromFileTime(*fileTime)) != *fileTime) std::abort();
  }
  const tw::OffsetText read = tw::ReadOffsetText(offset);
  if (read.read == tw::OffsetRead::kMinutes) {
    if (read.minutes < -1439 || read.minutes > 1439) std::abort();
    const tw::OffsetText back = tw::ReadOffsetText(tw::OffsetTextFromMinutes(read.minutes));
    if (back.read != tw::OffsetRead::kMinutes || back.minutes != read.minutes) std::abort();
  }
  return 0;
}
