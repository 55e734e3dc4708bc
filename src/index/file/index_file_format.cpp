#include "index/file/index_file_format.h"

#include <algorithm>
#include <array>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>

#include "common/wide_text.h"
#include "index/items/index_item_property_container.h"
#include "index/items/sorted_store_index.h"

namespace tw {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// The value of `c` as a digit of `base` (10 or 16), or -1.
int DigitOf(char c, uint32_t base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// strtoul's way: as many digits as there are, saturating at 32 bits.
uint32_t LeadingDigits(std::string_view text, uint32_t base) {
  uint64_t value = 0;
  for (char c : text) {
    const int digit = DigitOf(c, base);
    if (digit < 0) break;
    value = std::min<uint64_t>(value * base + static_cast<uint64_t>(digit), 0xFFFFFFFFull);
  }
  return static_cast<uint32_t>(value);
}

// Every character a digit of `base`, at least one, and the value a LASTUID
// can have.
bool ParseDigits(std::string_view text, uint32_t base, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t n = 0;
  for (char c : text) {
    const int digit = DigitOf(c, base);
    if (digit < 0) return false;
    n = n * base + static_cast<uint64_t>(digit);
  }
  if (n > kHighestUid) return false;
  value = static_cast<uint32_t>(n);
  return true;
}

constexpr bool IsSafeAsciiByte(unsigned char c) { return (c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>') || c == '\t' || c == '\n' || c == '\r'; }

// What the escaping does with a byte: kept as it is, escaped by name, or
// anything else (the slow path's repair and references).
enum : uint8_t { kKeep, kEscape, kOther };
constexpr std::array<uint8_t, 256> kByteClass = [] {
  std::array<uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] = IsSafeAsciiByte(static_cast<unsigned char>(c)) ? kKeep
               : (c == '&' || c == '<' || c == '>')             ? kEscape
                                                                 : kOther;
  return table;
}();

// Length of the well-formed UTF-8 sequence at `p` (0 when there is none).
size_t WellFormedLength(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  auto cont = [&](size_t i, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return i < left && p[i] >= lo && p[i] <= hi;
  };
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
  if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) return cont(1) && cont(2) ? 3 : 0;
  if (c == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
  if (c == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
  if (c >= 0xF1 && c <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
  if (c == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
  return 0;
}

bool AllowedCodeUnit(uint32_t u) {
  return u == '\t' || u == '\n' || u == '\r' || (u >= 0x20 && u <= 0xD7FF) || (u >= 0xE000 && u <= 0xFFFD);
}

void AppendReference(std::string& out, uint32_t unit) {
  char text[16];
  size_t n = 0;
  do {
    text[n++] = kHexDigits[unit & 0xF];
    unit >>= 4;
  } while (unit != 0);
  out += "&#x";
  while (n > 0) out += text[--n];
  out += ';';
}

// Decodes one code point the way the UTF-16 conversion does: a malformed
// byte becomes U+FFFD.
uint32_t DecodeLenient(const unsigned char* p, size_t left, size_t& used) {
  used = WellFormedLength(p, left);
  switch (used) {
    case 1: return p[0];
    case 2: return ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    case 3: return ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    case 4: return ((p[0] & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
    default: used = 1; return 0xFFFD;
  }
}

void ReplaceAll(std::string& text, std::string_view from, char to) {
  size_t at = text.find(from);
  if (at == std::string::npos) return;
  size_t out = at;
  while (at < text.size()) {
    if (text.compare(at, from.size(), from) == 0) {
      text[out++] = to;
      at += from.size();
    } else {
      text[out++] = text[at++];
    }
  }
  text.resize(out);
}

}  // namespace

std::string FormatLastUidDigits(uint32_t lastUid) {
  std::string digits(8, '0');
  for (int i = 7; i >= 0; --i, lastUid >>= 4) digits[static_cast<size_t>(i)] = kHexDigits[lastUid & 0xF];
  return digits;
}

std::string FormatRootStart(uint32_t lastUid) {
  std::string tag(kRootStartPrefix);
  tag += FormatLastUidDigits(lastUid);
  tag += "\">";
  return tag;
}

LastUid ParseLastUidValue(std::string_view value) {
  LastUid result;
  result.found = true;
  bool read = false;
  if (!value.empty() && value[0] == 'x') {
    result.newFormat = true;
    read = ParseDigits(value.substr(1), 16, result.value);
  } else if (!value.empty() && value[0] == '0') {
    read = ParseDigits(value, 16, result.value);
  } else {
    read = ParseDigits(value, 10, result.value);
  }
  if (!read) {
    result.damaged = true;
    result.value = 0;
  }
  return result;
}

LastUid ParseLastUid(std::string_view text) {
  constexpr std::string_view kKey = "LASTUID=\"";
  const size_t at = text.find(kKey);
  if (at == std::string_view::npos) return {};
  std::string_view value = text.substr(at + kKey.size());
  value = value.substr(0, std::min<size_t>(value.find('"'), 1023));
  return ParseLastUidValue(value);
}

size_t FirstInvalidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    const size_t n = WellFormedLength(p + i, text.size() - i);
    if (n == 0) return i;
    i += n;
  }
  return std::string_view::npos;
}

std::string RepairUtf8(std::string_view value) {
  std::string out(value);
  const auto* p = reinterpret_cast<const unsigned char*>(value.data());
  for (size_t i = 0; i < value.size();) {
    const unsigned char c = p[i];
    const size_t n = WellFormedLength(p + i, value.size() - i);
    if (n == 0 || (n == 1 && c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
      out[i++] = ' ';
    } else {
      i += n;
    }
  }
  return out;
}

void AppendEscaped(std::string& out, std::string_view value, bool validUtf8) {
  // Plain ASCII, with at most '&', '<' and '>' to escape (addresses such as
  // "Ann <ann@x>"): nothing to repair or reference, so one pass escapes it
  // straight into `out`, a run at a time. Anything else starts again below.
  const size_t mark = out.size();
  const auto* bytes = reinterpret_cast<const unsigned char*>(value.data());
  size_t run = 0;
  size_t at = 0;
  auto escape = [&](size_t where) {
    out.append(value.data() + run, where - run);
    const unsigned char c = bytes[where];
    out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : "&gt;";
    run = where + 1;
  };
  bool other = false;
  while (!other && at < value.size()) {
#if defined(__SSE2__)
    // Sixteen bytes at a time while they are printable ASCII: a mask of the
    // ones to escape, taken bit by bit. A block with any other byte (a tab
    // too) goes through the table below.
    if (at + 16 <= value.size()) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
      const __m128i outside = _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)),  // also 0x80 and up
                                           _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)));
      if (_mm_movemask_epi8(outside) == 0) {
        const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('&')),
                                                          _mm_cmpeq_epi8(v, _mm_set1_epi8('<'))),
                                             _mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(special)); mask != 0; mask &= mask - 1)
          escape(at + static_cast<size_t>(__builtin_ctz(mask)));
        at += 16;
        continue;
      }
    }
#endif
    const size_t end = at + 16 < value.size() ? at + 16 : value.size();
    for (; at < end; ++at) {
      const uint8_t kind = kByteClass[bytes[at]];
      if (kind == kKeep) continue;
      if (kind == kOther) {
        other = true;
        break;
      }
      escape(at);
    }
  }
  if (!other) {
    out.append(value.data() + run, value.size() - run);
    return;
  }
  out.resize(mark);
  const std::string repaired = validUtf8 ? RepairUtf8(value) : std::string();
  if (validUtf8) value = repaired;

  std::string escaped;
  escaped.reserve(value.size() + 16);
  for (char c : value) {
    if (c == '&') escaped += "&amp;";
    else if (c == '<') escaped += "&lt;";
    else if (c == '>') escaped += "&gt;";
    else escaped += c;
  }

  const auto* p = reinterpret_cast<const unsigned char*>(escaped.data());
  bool needsReference = false;
  for (size_t i = 0, used = 0; i < escaped.size() && !needsReference; i += used) {
    const uint32_t cp = DecodeLenient(p + i, escaped.size() - i, used);
    needsReference = cp >= 0x10000 || !AllowedCodeUnit(cp);
  }
  if (!needsReference) {
    out += escaped;
    return;
  }
  for (size_t i = 0, used = 0; i < escaped.size(); i += used) {
    const uint32_t cp = DecodeLenient(p + i, escaped.size() - i, used);
    if (cp >= 0x10000) {  // both halves of the surrogate pair are outside the allowed ranges
      AppendReference(out, 0xD800 + ((cp - 0x10000) >> 10));
      AppendReference(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else if (!AllowedCodeUnit(cp)) {
      AppendReference(out, cp);
    } else {
      AppendUtf8(out, cp);
    }
  }
}

// Without character references the three passes come to one: a decoded
// '<' or '>' can never start another reference, and '&' is decoded last.
// Writes at most text.size() bytes to `out`; returns how many, or npos
// (nothing written) when the text holds a character reference.
static size_t UnescapeNamedOnly(std::string_view text, char* out) {
  if (text.find("&#") != std::string_view::npos) return std::string_view::npos;
  char* const begin = out;
  for (size_t at = 0; at < text.size();) {
    const size_t amp = std::min(text.find('&', at), text.size());
    std::memcpy(out, text.data() + at, amp - at);
    out += amp - at;
    if (amp == text.size()) break;
    const std::string_view rest = text.substr(amp);
    if (rest.starts_with("&lt;")) {
      *out++ = '<';
      at = amp + 4;
    } else if (rest.starts_with("&gt;")) {
      *out++ = '>';
      at = amp + 4;
    } else if (rest.starts_with("&amp;")) {
      *out++ = '&';
      at = amp + 5;
    } else {
      *out++ = '&';
      at = amp + 1;
    }
  }
  return static_cast<size_t>(out - begin);
}

std::string Unescape(std::string_view text) {
  std::string out;
  UnescapeInto(text, out);
  return out;
}

void UnescapeInto(std::string_view text, std::string& out) {
  out.resize(text.size());
  const size_t named = UnescapeNamedOnly(text, out.data());
  if (named != std::string_view::npos) {
    out.resize(named);
    return;
  }
  out.assign(text);
  for (size_t at = out.find("&#"); at != std::string::npos; at = out.find("&#", at + 1)) {
    const size_t end = out.find(';', at + 2);
    if (end == std::string::npos) break;
    const std::string_view number(out.data() + at + 2, end - at - 2);
    const uint32_t value =
        !number.empty() && number[0] == 'x' ? LeadingDigits(number.substr(1), 16) : LeadingDigits(number, 10);
    out.replace(at, end - at + 1, 1, static_cast<char>(value & 0xFF));
  }
  ReplaceAll(out, "&lt;", '<');
  ReplaceAll(out, "&gt;", '>');
  ReplaceAll(out, "&amp;", '&');
}

bool IsDeadValue(std::string_view value) {
  return !value.empty() && value.find_first_not_of('-') == std::string_view::npos;
}

bool IsXmlName(std::string_view name) {
  if (name.empty() || FirstInvalidUtf8(name) != std::string_view::npos) return false;
  auto letter = [](unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80; };
  if (!letter(static_cast<unsigned char>(name[0]))) return false;
  return std::all_of(name.begin() + 1, name.end(), [&](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
  });
}

bool IsWritablePropertyName(std::string_view name) {
  if (name.empty() || name.starts_with("ELEMENT") || name.starts_with("BASEELEMENT")) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F || c == '<' || c == '>' || c == '/' || c == '&' || c == '"' || c == '=';
  });
}

std::vector<std::pair<std::string, PropertyKey>> StoredProperties() {
  auto names = PropertyRegistry::Process().Names();
  std::erase_if(names, [](const auto& entry) {
    const std::string& n = entry.first;
    return n == kPropId || n == kPropUid || n == kPropSeq || n == "IDX" || !IsWritablePropertyName(n);
  });
  return names;  // already in ascending name order
}

void AppendElement(std::string& out, const IndexItemPropertyContainer& item,
                   const std::vector<std::pair<std::string, PropertyKey>>& properties, bool validUtf8,
                   bool escapeId) {
  char scratch[16];
  out += "<ELEMENT";
  if (item.Has(kKeyId)) {
    out += " ID=\"";
    const std::string_view id = item.TextView(kKeyId, scratch);
    if (!escapeId) {
      out += id;
    } else {
      for (char c : id) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '"') out += "&quot;";
        else out += c;
      }
    }
    out += '"';
  }
  if (item.Has(kKeyUid)) {
    out += " UID=\"";
    out += item.TextView(kKeyUid, scratch);
    out += '"';
  }
  out += '>';
  for (const auto& [name, key] : properties) {
    if (!item.Has(key)) continue;
    out += '<';
    out += name;
    out += '>';
    AppendEscaped(out, item.TextView(key, scratch), validUtf8);
    out += "</";
    out += name;
    out += '>';
  }
  out += "</ELEMENT>";
}

}  // namespace tw
