#include "index/file/xml_data.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

namespace tw {
namespace {

// memmove: a caller may hand in a buffer that overlaps the text.
void CopyBounded(std::string_view part, char* buffer, uint32_t bufferSize) {
  if (bufferSize == 0) return;
  const size_t n = std::min<size_t>(part.size(), bufferSize - 1);
  if (n > 0) std::memmove(buffer, part.data(), n);
  buffer[n] = '\0';
}

}  // namespace

uint32_t GetXMLDataEx(const char* text, const char* startTag, const char* endTag, char* buffer,
                      uint32_t bufferSize) {
  if (text == nullptr || buffer == nullptr) return 0;
  const std::string_view all(text);
  const std::string_view start = startTag != nullptr ? startTag : "";
  const std::string_view end = endTag != nullptr ? endTag : "";

  const size_t at = start.empty() ? 0 : all.find(start);
  if (at == std::string_view::npos) {
    CopyBounded({}, buffer, bufferSize);
    return 0;
  }
  if (end.empty()) {
    CopyBounded(all.substr(at), buffer, bufferSize);
    return 0;
  }
  const size_t endAt = at + 1 <= all.size() ? all.find(end, at + 1) : std::string_view::npos;
  const size_t after = endAt == std::string_view::npos ? 0 : endAt + end.size();
  if (endAt == std::string_view::npos || after > std::numeric_limits<uint32_t>::max()) {
    CopyBounded({}, buffer, bufferSize);
    return 0;
  }
  // An end tag found inside the start tag leaves nothing between them.
  const size_t contentStart = at + start.size();
  CopyBounded(endAt > contentStart ? all.substr(contentStart, endAt - contentStart) : std::string_view(), buffer,
              bufferSize);
  return static_cast<uint32_t>(after);
}

}  // namespace tw
