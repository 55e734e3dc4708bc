#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "platform/last_error.h"

namespace tw::platform {

bool ReplaceFile(std::string_view from, std::string_view to) {
  const std::string source = ToSystemPath(from);
  const std::string target = ToSystemPath(to);
  if (std::rename(source.c_str(), target.c_str()) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  SetLastError(kErrorSuccess);
  return true;
}

}  // namespace tw::platform
