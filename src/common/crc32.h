// CRC-32 (the polynomial of zip and Ethernet, reflected, 0xEDB88320), for
// telling a file written whole from one cut short or damaged.
#pragma once
#include <cstdint>
#include <string_view>

namespace tw {

// Continues `crc` (0 to start) over `bytes`.
uint32_t Crc32(uint32_t crc, std::string_view bytes);

}  // namespace tw
