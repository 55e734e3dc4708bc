#include "frame/com_apartment.h"

#include "common/text.h"
#include "platform/library_loader.h"

namespace tw {

ComApartment ApartmentForHost(const std::string& hostExecutablePath) {
  static constexpr const char* kServerExecutables[] = {
      "TWSMTPC.EXE", "TWSMSC.EXE", "TWLDAPS.EXE", "TWIMAPS.EXE", "TWMAPIS.EXE", "TWMTA.EXE",   "TWPOC.EXE",
      "TWPOPS.EXE",  "TWLCS.EXE",  "TWHTTPS.EXE", "TWPOPC.EXE",  "OUTLOOK.EXE", "TWRADMS.EXE"};
  for (const char* name : kServerExecutables) {
    if (FindNoCase(hostExecutablePath, name) != std::string::npos) return ComApartment::MultiThreaded;
  }
  return ComApartment::SingleThreaded;
}

ComScope::ComScope() : apartment_(ApartmentForHost(platform::HostExecutablePath())) {}

}  // namespace tw
