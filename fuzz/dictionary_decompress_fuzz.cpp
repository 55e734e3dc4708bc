// Arbitrary bytes into the dictionary decompressor: it may not write past
// its capacity, nor claim more than it wrote. The same bytes compressed must
// decompress to themselves, into a buffer of exactly their size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/dictionary_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // A tight capacity as well as a roomy one, so the capacity checks are met.
  for (const size_t capacity : {size * 32 + 16, size / 2}) {
    std::vector<unsigned char> out(capacity);
    size_t written = 0;
    const int32_t result = tw::DictionaryDecompress(bytes, out.data(), out.size(), written);
    if (result != 1 && result != -1) std::abort();
    if (result == 1 && written > out.size()) std::abort();
  }

  if (size == 0) return 0;
  std::vector<unsigned char> packed(size * 2);
  size_t written = 0;
  if (tw::DictionaryCompress(bytes, packed.data(), packed.size(), written) != 0 || written > packed.size()) std::abort();
  std::vector<unsigned char> back(size);
  size_t backLength = 0;
  if (tw::DictionaryDecompress(std::string_view(reinterpret_cast<char*>(packed.data()), written), back.data(),
                               back.size(), backLength) != 1 ||
      backLength != size || std::memcmp(back.data(), data, size) != 0)
    std::abort();
  return 0;
}
