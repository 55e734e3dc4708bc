// Deleting one mapped path with the sharing check. Internal to src/platform/.
#pragma once
#include <cstdint>
#include <string>

#include "platform/share_probe.h"

namespace tw::platform::detail {

// 0, or the Windows error: 2/3 missing, 5 a directory, 32 held without
// sharing.
uint32_t DeleteSystemFile(const std::string& systemPath);

}  // namespace tw::platform::detail
