#include "formats/modified_utf7.h"

#include <cstdint>
#include <vector>

#include "common/wide_text.h"

namespace tw::formats {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

int AlphabetValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == ',') return 63;
  return -1;
}

// The next code point of `text` at `i`, advancing `i`; -1 when malformed.
int32_t NextCodePoint(std::string_view text, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length;
  int32_t cp;
  int32_t minimum;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return -1;
  }
  if (text.size() - i < length) return -1;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  i += length;
  return cp;
}

void AppendEncodedRun(std::string& out, const std::vector<uint16_t>& units) {
  out += '&';
  uint32_t bits = 0;
  int count = 0;
  for (const uint16_t unit : units) {
    bits = (bits << 16) | unit;
    count += 16;
    while (count >= 6) {
      count -= 6;
      out += kAlphabet[(bits >> count) & 0x3F];
    }
    bits &= (1u << count) - 1;
  }
  if (count > 0) out += kAlphabet[(bits << (6 - count)) & 0x3F];
  out += '-';
}

bool IsPrintableAscii(int32_t cp) { return cp >= 0x20 && cp <= 0x7E; }

}  // namespace

bool IsWellFormedUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    if (NextCodePoint(text, i) <= 0) return false;
  }
  return true;
}

std::optional<std::string> EncodeModifiedUtf7(std::string_view utf8, const std::function<bool(char)>& alsoEncode) {
  std::string out;
  std::vector<uint16_t> run;
  size_t i = 0;
  while (i < utf8.size()) {
    const int32_t cp = NextCodePoint(utf8, i);
    if (cp <= 0) return std::nullopt;
    const bool literal = IsPrintableAscii(cp) && !(alsoEncode && cp != '&' && alsoEncode(static_cast<char>(cp)));
    if (literal) {
      if (!run.empty()) {
        AppendEncodedRun(out, run);
        run.clear();
      }
      out += static_cast<char>(cp);
      if (cp == '&') out += '-';
      continue;
    }
    if (cp >= 0x10000) {
      const uint32_t v = static_cast<uint32_t>(cp) - 0x10000;
      run.push_back(static_cast<uint16_t>(0xD800 | (v >> 10)));
      run.push_back(static_cast<uint16_t>(0xDC00 | (v & 0x3FF)));
    } else {
      run.push_back(static_cast<uint16_t>(cp));
    }
  }
  if (!run.empty()) AppendEncodedRun(out, run);
  return out;
}

std::optional<std::string> DecodeModifiedUtf7(std::string_view text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (!IsPrintableAscii(static_cast<unsigned char>(c))) return std::nullopt;
    if (c != '&') {
      out += c;
      ++i;
      continue;
    }
    ++i;
    if (i < text.size() && text[i] == '-') {
      out += '&';
      ++i;
      continue;
    }
    uint32_t bits = 0;
    int count = 0;
    uint32_t highSurrogate = 0;
    bool any = false;
    while (true) {
      if (i >= text.size()) return std::nullopt;
      if (text[i] == '-') break;
      const int value = AlphabetValue(text[i]);
      if (value < 0) return std::nullopt;
      ++i;
      bits = (bits << 6) | static_cast<uint32_t>(value);
      count += 6;
      if (count < 16) continue;
      count -= 16;
      const uint32_t unit = (bits >> count) & 0xFFFF;
      bits &= (1u << count) - 1;
      any = true;
      if (highSurrogate != 0) {
        if (unit < 0xDC00 || unit > 0xDFFF) return std::nullopt;
        AppendUtf8(out, 0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00));
        highSurrogate = 0;
      } else if (unit >= 0xD800 && unit <= 0xDBFF) {
        highSurrogate = unit;
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        return std::nullopt;
      } else if (unit == 0) {
        return std::nullopt;
      } else {
        AppendUtf8(out, unit);
      }
    }
    ++i;  // the "-"
    // Leftover bits: fewer than six and all zero, or the run was cut short.
    if (!any || highSurrogate != 0 || count >= 6 || bits != 0) return std::nullopt;
  }
  return out;
}

}  // namespace tw::formats
