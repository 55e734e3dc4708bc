#include "formats/header_cleanup.h"

#include "formats/ascii_text.h"

namespace tw::formats {
namespace {

bool IsBlankLine(std::string_view line) { return line == "\n" || line == "\r\n"; }

std::string_view LineAt(std::string_view text, size_t at) {
  const size_t newline = text.find('\n', at);
  return text.substr(at, newline == std::string_view::npos ? std::string_view::npos : newline + 1 - at);
}

bool IsStoreField(std::string_view line) {
  return StartsWithAsciiNoCase(line, "X-TWTempFlags:") || StartsWithAsciiNoCase(line, "X-UID:");
}

}  // namespace

size_t HeaderEnd(std::string_view text) {
  size_t at = 0;
  while (at < text.size()) {
    const std::string_view line = LineAt(text, at);
    at += line.size();
    if (IsBlankLine(line)) return at;
  }
  return std::string_view::npos;
}

std::string WithoutStoreHeaderFields(std::string_view message) {
  std::string out;
  out.reserve(message.size());
  size_t at = 0;
  bool dropping = false;
  while (at < message.size()) {
    const std::string_view line = LineAt(message, at);
    if (IsBlankLine(line)) break;
    dropping = (dropping && IsBlank(line[0])) || IsStoreField(line);
    if (!dropping) out += line;
    at += line.size();
  }
  out += message.substr(at);
  return out;
}

}  // namespace tw::formats
