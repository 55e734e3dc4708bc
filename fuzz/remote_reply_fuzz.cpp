// Replies of a remote-administration service, hostile: the parameter
// elements are found and decoded into records of the sizes the calls use;
// nothing may read or write out of bounds, and a decode either fills the
// whole record or leaves it as it was. Blocks encoded here must decode to
// themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "services/remote/remote_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  for (uint32_t number = 0; number < 3; ++number) {
    const auto parameter = tw::remote::FindParameter(reply, number);
    if (!parameter) continue;
    for (size_t blockSize : {size_t{4}, size_t{2576}, parameter->size}) {
      if (blockSize == 0 || blockSize > 65536) continue;
      std::vector<unsigned char> block(blockSize, 0xA5);
      if (!tw::remote::DecodeParameter(parameter->content, block.data(), block.size())) {
        for (unsigned char byte : block)
          if (byte != 0xA5) std::abort();  // a failed decode changed the record
      }
    }
  }
  (void)tw::remote::ParseRequest(reply);

  if (size > 0 && size <= 4096) {
    const auto encoded = tw::remote::EncodeParameter(data, size);
    if (encoded) {
      std::vector<unsigned char> back(size);
      if (!tw::remote::DecodeParameter(*encoded, back.data(), back.size())) std::abort();
      if (std::memcmp(back.data(), data, size) != 0) std::abort();
    }
  }
  return 0;
}
