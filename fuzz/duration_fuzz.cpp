// Duration texts of any bytes: the seconds stay within a signed 32-bit
// number, and a text that is no duration is one hour.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "calendar/date_texts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int64_t seconds = tw::DurationSeconds(text);
  if (seconds < -INT32_MAX || seconds > INT32_MAX) std::abort();
  // Every duration starts with "P" after its sign and blanks.
  if (text.find_first_of("Pp") == std::string_view::npos && seconds != 3600) std::abort();
  return 0;
}
