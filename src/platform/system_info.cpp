#include "platform/system_info.h"

#include <unistd.h>

namespace tw::platform {

std::string ComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

uint64_t CurrentProcessId() { return static_cast<uint64_t>(getpid()); }

}  // namespace tw::platform
