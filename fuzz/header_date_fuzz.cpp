// Header dates of any bytes: the short form ("09:05 05 Mar, 2014") to ISO
// text and Unix time, and the Unix time written back as a header date that
// reads back to the same minute.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "calendar/date_texts.h"
#include "calendar/header_dates.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string iso = tw::IsoDateFromHeaderDate(text);
  if (iso.size() >= tw::kIsoDateCapacity) std::abort();
  const std::optional<int64_t> seconds = tw::UnixTimeFromHeaderDate(text);
  if (seconds.has_value() != (!iso.empty() && tw::FileTimeFromIsoText(iso.substr(0, 4) + "0101").has_value() &&
                              iso.size() == 19))
    std::abort();
  if (seconds) {
    const std::string written = tw::HeaderDateFromUnixTime(*seconds);
    if (written.size() >= tw::kIsoDateCapacity) std::abort();
    // Years before 1901 read back 2000 years on, years after 9999 not at all.
    const bool readsBack = *seconds >= -2177452800 && *seconds <= 253402300799;
    if (readsBack && tw::UnixTimeFromHeaderDate(written) != *seconds) std::abort();
  }
  if (tw::MessageDateFromUnixTime(static_cast<int64_t>(size) * 86399 - 1000000).size() >= tw::kIsoDateCapacity)
    std::abort();
  return 0;
}
