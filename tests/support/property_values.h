// A value handed out by the item interface, as text a test can compare:
// 8-bit texts as far as their NUL, wide texts "w:" with each unit as one
// byte, file times "ft:", integers "i:", doubles "d:" (four decimals),
// 32-bit words "u:", and "<none>" for no block.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "common/text.h"

namespace tw {

inline constexpr const char* kNoValue = "<none>";

inline std::string DescribeValue(const void* data, uint32_t valueType) {
  if (data == nullptr) return kNoValue;
  const auto* bytes = static_cast<const unsigned char*>(data);
  switch (valueType) {
    case 3: {
      uint64_t v;
      std::memcpy(&v, bytes, 8);
      return "ft:" + std::to_string(v);
    }
    case 7: {
      int32_t v;
      std::memcpy(&v, bytes, 4);
      return "i:" + std::to_string(v);
    }
    case 9: {
      double v;
      std::memcpy(&v, bytes, 8);
      return FormatText(64, "d:%.4f", v);
    }
    case 10:
    case 12: {
      uint32_t v;
      std::memcpy(&v, bytes, 4);
      return "u:" + std::to_string(v);
    }
    case 15:
    case 16: {
      std::string text = "w:";
      for (char16_t unit; std::memcpy(&unit, bytes, 2), unit != 0; bytes += 2) text += static_cast<char>(unit);
      return text;
    }
    default:
      return reinterpret_cast<const char*>(data);
  }
}

}  // namespace tw
