// Arbitrary bytes into the base64 decoder: counting and decoding agree, and
// it never writes past its capacity. The same bytes encoded must decode to
// themselves, into a buffer of exactly their size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/text_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const int32_t counted = tw::Base64Decode(bytes, nullptr, 0);
  std::vector<unsigned char> decoded(size + 1);
  const int32_t got = tw::Base64Decode(bytes, decoded.data(), decoded.size());
  if (got > static_cast<int32_t>(decoded.size()) || got < -1 || counted != got) std::abort();
  // One byte short of the decoded length does not fit.
  if (got > 0 && tw::Base64Decode(bytes, decoded.data(), static_cast<size_t>(got) - 1) != -1) std::abort();

  if (size == 0) return 0;
  std::vector<char> text((size + 2) / 3 * 4 + 1);
  const int32_t encoded = tw::Base64Encode(bytes, text.data(), text.size());
  // The encoder stops at its output limit.
  if (text.size() > tw::kBase64OutputLimit) {
    if (encoded != -1) std::abort();
    return 0;
  }
  if (encoded != static_cast<int32_t>(text.size() - 1)) std::abort();
  std::vector<unsigned char> again(size);
  if (tw::Base64Decode(text.data(), again.data(), again.size()) != static_cast<int32_t>(size) ||
      std::memcmp(again.data(), data, size) != 0)
    std::abort();
  return 0;
}
