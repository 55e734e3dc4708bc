// The dictionary compressor of the remote-administration payloads: the
// input as a sequence of 16-bit entry numbers (low byte first) of a
// dictionary that both sides build alike, from the 256 single bytes up to
// 1023 entries of at most 63 bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tw {

inline constexpr uint16_t kFailedLookup = 0xFFFF;

// 0 with `written` set; -1 when the input is empty or the output would pass
// `capacity` (at most two bytes an input byte are written).
int32_t DictionaryCompress(std::string_view input, unsigned char* out, size_t capacity, size_t& written);

// 1 with `written` set; -1 when the input has an odd length or none, names
// an entry not yet defined, or would expand past `capacity`. A number
// 0xFFFF (a lookup the compressor could not make) prints "Something wrong\n"
// and is passed over.
int32_t DictionaryDecompress(std::string_view input, unsigned char* out, size_t capacity, size_t& written);

}  // namespace tw
