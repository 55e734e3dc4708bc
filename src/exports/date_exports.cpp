// The exported conversions between Unix times and file times.
#include <cstdint>

#include "calendar/date_texts.h"
#include "frame/event_report.h"
#include "twstore.h"

namespace {
constexpr const char* kModule = "..\\services\\Library\\LIBiCALIndex";
}  // namespace

extern "C" {

uint32_t UnixTimeToFileTime(int32_t unixTime, uint64_t* fileTime) {
  return tw::AtBoundary("UnixTimeToFileTime", kModule, __LINE__, 0u, [&]() -> uint32_t {
    if (fileTime == nullptr) return 0;
    // Every 32-bit Unix time has a file time.
    *fileTime = *tw::FileTimeFromUnixSeconds(unixTime);
    return 1;
  });
}

int64_t UnixTimeFromFileTime(const uint64_t* fileTime) {
  return tw::AtBoundary("UnixTimeFromFileTime", kModule, __LINE__, int64_t{0}, [&]() -> int64_t {
    return fileTime == nullptr ? 0 : tw::UnixSecondsFromFileTime(*fileTime);
  });
}

}  // extern "C"
