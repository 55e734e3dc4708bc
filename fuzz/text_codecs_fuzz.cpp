// Arbitrary bytes into the dictionary decompressor and the base64 decoder:
// neither may write past its capacity, and what each encoder makes must
// decode to what went in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/dictionary_codec.h"
#include "common/text_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  std::vector<unsigned char> out(size * 4 + 16);
  size_t written = 0;
  if (tw::DictionaryDecompress(bytes, out.data(), out.size(), written) == 1 && written > out.size()) std::abort();
  std::vector<unsigned char> decoded(size + 1);
  const int32_t counted = tw::Base64Decode(bytes, nullptr, 0);
  const int32_t got = tw::Base64Decode(bytes, decoded.data(), decoded.size());
  if (got > static_cast<int32_t>(decoded.size()) || (got >= 0 && counted != got)) std::abort();

  if (size == 0) return 0;
  std::vector<unsigned char> packed(size * 2);
  if (tw::DictionaryCompress(bytes, packed.data(), packed.size(), written) != 0) std::abort();
  std::vector<unsigned char> back(size);
  size_t backLength = 0;
  if (tw::DictionaryDecompress(std::string_view(reinterpret_cast<char*>(packed.data()), written), back.data(),
                               back.size(), backLength) != 1 ||
      backLength != size || std::memcmp(back.data(), data, size) != 0)
    std::abort();
  std::vector<char> text((size + 2) / 3 * 4 + 1);
  if (size <= 24000) {
    if (tw::Base64Encode(bytes, text.data(), text.size()) < 0) std::abort();
    std::vector<unsigned char> again(size);
    if (tw::Base64Decode(text.data(), again.data(), again.size()) != static_cast<int32_t>(size) ||
        std::memcmp(again.data(), data, size) != 0)
      std::abort();
  }
  return 0;
}
