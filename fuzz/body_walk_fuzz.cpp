// Arbitrary bytes as an item file: the body walk for each kind of part and
// the header-value scan. A found part is a run of the file's own lines, and
// a header value stays within its bound and holds no line end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/chunk_buffer.h"
#include "folders/properties/body_properties.h"
#include "folders/properties/body_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const bool hasNul = std::memchr(data, 0, size) != nullptr;

  for (tw::BodyPartKind kind : {tw::BodyPartKind::kPlainText, tw::BodyPartKind::kHtml, tw::BodyPartKind::kCalendar}) {
    tw::ChunkBuffer text(1024);
    const bool found = tw::WalkBodyText(file, kind, text);
    const std::string_view part = text.Text();
    if (!found && !part.empty()) std::abort();
    if (part.size() > size) std::abort();
    // Without NUL bytes nothing is cut from a line: the part is a slice of
    // the file.
    if (!hasNul && file.find(part) == std::string_view::npos) std::abort();
  }

  std::string value;
  for (const char* name : {"Subject", "content-type:"}) {
    const bool found = tw::ScanHeaderValue(file, name, value);
    if (!found && !value.empty()) std::abort();
    if (value.size() > tw::kLongestHeaderValue || value.find('\n') != std::string::npos) std::abort();
  }
  return 0;
}
