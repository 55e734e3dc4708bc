#include "common/text_codecs.h"

#include <array>

namespace tw {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t kNotBase64 = -1;
constexpr std::string_view kHex = "0123456789ABCDEF";

constexpr std::array<int8_t, 256> kBase64Values = [] {
  std::array<int8_t, 256> values{};
  values.fill(kNotBase64);
  for (size_t i = 0; i < kAlphabet.size(); ++i) values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  return values;
}();

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int32_t Base64Encode(std::string_view bytes, char* out, size_t capacity) {
  const size_t room = capacity < kBase64OutputLimit ? capacity : kBase64OutputLimit;
  const size_t needed = (bytes.size() + 2) / 3 * 4 + 1;
  if (out == nullptr || bytes.size() > kBase64OutputLimit || needed > room) return -1;
  size_t at = 0;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    const uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                           (left > 1 ? static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 : 0) |
                           (left > 2 ? static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 2])) : 0);
    out[at++] = kAlphabet[group >> 18 & 63];
    out[at++] = kAlphabet[group >> 12 & 63];
    out[at++] = left > 1 ? kAlphabet[group >> 6 & 63] : '=';
    out[at++] = left > 2 ? kAlphabet[group & 63] : '=';
  }
  out[at] = '\0';
  return static_cast<int32_t>(at);
}

int32_t Base64Decode(std::string_view text, unsigned char* out, size_t capacity) {
  uint32_t group = 0;
  int inGroup = 0;
  size_t written = 0;
  auto emit = [&](unsigned char byte) {
    if (out != nullptr) {
      if (written >= capacity) return false;
      out[written] = byte;
    }
    ++written;
    return true;
  };
  size_t at = 0;
  for (; at < text.size() && text[at] != '='; ++at) {
    const char c = text[at];
    if (IsWhiteSpace(c)) continue;
    const int8_t value = kBase64Values[static_cast<unsigned char>(c)];
    if (value == kNotBase64) return -1;
    group = group << 6 | static_cast<uint32_t>(value);
    if (++inGroup < 4) continue;
    if (!emit(static_cast<unsigned char>(group >> 16)) || !emit(static_cast<unsigned char>(group >> 8)) ||
        !emit(static_cast<unsigned char>(group)))
      return -1;
    group = 0;
    inGroup = 0;
  }
  if (inGroup == 1) return -1;
  if (inGroup == 2 && !emit(static_cast<unsigned char>(group >> 4))) return -1;
  if (inGroup == 3 && (!emit(static_cast<unsigned char>(group >> 10)) || !emit(static_cast<unsigned char>(group >> 2))))
    return -1;
  // After the first "=": white space, and a second "=" after a group of two.
  bool secondPad = false;
  for (size_t i = at < text.size() ? at + 1 : at; i < text.size(); ++i) {
    if (IsWhiteSpace(text[i])) continue;
    if (text[i] == '=' && inGroup == 2 && !secondPad) {
      secondPad = true;
      continue;
    }
    return -1;
  }
  return written > INT32_MAX ? -1 : static_cast<int32_t>(written);
}

std::string QuotedPrintableDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out += text[i];
      continue;
    }
    if (i + 1 >= text.size()) break;
    if (text[i + 1] == '\n') {
      ++i;
    } else if (text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n') {
      i += 2;
    } else if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    }
    // any other "=" is dropped and what follows it is copied
  }
  return out;
}

bool QEncode(std::string_view bytes, std::string& out, size_t capacity) {
  out.clear();
  for (const char c : bytes) {
    if (c == '\0') break;
    const unsigned char byte = static_cast<unsigned char>(c);
    const bool plain = byte >= 0x20 && byte <= 0x7E && c != '=' && c != '?' && c != '_';
    if (capacity > 0 && out.size() + (plain ? 1 : 3) >= capacity) return false;
    if (plain) {
      out += c;
    } else {
      out += '=';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return true;
}

std::string EncodedWord(std::string_view text) {
  bool high = false;
  for (const char c : text) high = high || static_cast<unsigned char>(c) > 0x80;
  if (!high) return std::string(text);
  std::string encoded;
  QEncode(text, encoded);
  return "=?UTF-8?Q?" + encoded + "?=";
}

}  // namespace tw
