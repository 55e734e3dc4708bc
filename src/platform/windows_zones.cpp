#include "platform/windows_zones.h"

#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <date/tz.h>

namespace tw::platform {
namespace {

std::string Utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace

bool SystemZoneExists(std::string_view zoneId) {
  if (zoneId.empty() || zoneId.size() > kZoneNameLimit) return false;
  try {
    date::locate_zone(zoneId);
    return true;
  } catch (const std::exception&) {
    // Unknown names throw; so does a system without zone files.
    return false;
  }
}

std::string SystemZoneIdFromName(std::string_view name) {
  if (name.empty() || name.size() > kZoneNameLimit) return {};
  if (SystemZoneExists(name)) return std::string(name);

  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString id;
  icu::TimeZone::getIDForWindowsID(
      icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), static_cast<int32_t>(name.size()))), nullptr, id,
      status);
  if (U_FAILURE(status) || id.isEmpty()) return {};
  const std::string icuId = Utf8(id);
  if (SystemZoneExists(icuId)) return icuId;
  const int32_t count = icu::TimeZone::countEquivalentIDs(id);
  for (int32_t i = 0; i < count; ++i) {
    const std::string other = Utf8(icu::TimeZone::getEquivalentID(id, i));
    if (SystemZoneExists(other)) return other;
  }
  return {};
}

}  // namespace tw::platform
