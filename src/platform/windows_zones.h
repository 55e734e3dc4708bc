// Zone names on Linux: the Windows names operators give a mailbox ("Pacific
// Standard Time") mapped to the system's zone files through ICU's table.
#pragma once
#include <string>
#include <string_view>

namespace tw::platform {

// Windows zone names and IANA ids are at most this long.
inline constexpr size_t kZoneNameLimit = 259;

// The id of the system zone file for a Windows zone name or an IANA id
// ("Europe/Berlin", accepted as it is); empty when the name is unknown.
// When ICU answers an id the system lacks (old ids such as "Asia/Calcutta"),
// ICU's equivalent ids are tried.
std::string SystemZoneIdFromName(std::string_view name);

// True when the system's zone files hold this id.
bool SystemZoneExists(std::string_view zoneId);

}  // namespace tw::platform
