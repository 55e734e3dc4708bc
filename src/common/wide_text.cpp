#include "common/wide_text.h"

namespace tw {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The well-formed sequence at `at`: its code point and length; length 0
// when the byte there does not begin one.
struct Sequence {
  char32_t codePoint = 0;
  size_t length = 0;
};

Sequence SequenceAt(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  char32_t codePoint = 0;
  // The range the second byte must lie in rules out overlong forms,
  // surrogates and code points above U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead < 0x80) return {lead, 1};
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {};
  }
  if (text.size() - at < length || byte(1) < low || byte(1) > high) return {};
  for (size_t i = 1; i < length; ++i) {
    if (!IsContinuation(byte(i))) return {};
    codePoint = (codePoint << 6) | (byte(i) & 0x3F);
  }
  return {codePoint, length};
}

}  // namespace

std::u16string WideFromUtf8(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const Sequence sequence = SequenceAt(text, at);
    if (sequence.length == 0) {
      wide.push_back(static_cast<unsigned char>(text[at++]));
      continue;
    }
    at += sequence.length;
    if (sequence.codePoint < 0x10000) {
      wide.push_back(static_cast<char16_t>(sequence.codePoint));
    } else {
      const char32_t above = sequence.codePoint - 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (above >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (above & 0x3FF)));
    }
  }
  return wide;
}

std::string Utf8FromWide(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      code = 0x10000 + ((code - 0xD800u) << 10) + (text[++i] - 0xDC00u);
    AppendUtf8(out, code);
  }
  return out;
}

}  // namespace tw
