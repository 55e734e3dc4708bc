// Copying one mapped file. Internal to src/platform/.
#pragma once
#include <cstdint>
#include <string>

namespace tw::platform::detail {

// 0, or the Windows error: 2/3 source missing, 3 destination directory
// missing, 5 a directory on either side, 32 either file held without
// sharing (or both names the same file), 80 when `failIfExists` and the
// destination exists. The destination gets the source's bytes and last
// write time; a destination this call created is removed again on failure.
uint32_t CopySystemFile(const std::string& from, const std::string& to, bool failIfExists);

}  // namespace tw::platform::detail
