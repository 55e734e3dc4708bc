// ASCII-only letter case and blank handling for the mail formats: every
// keyword these formats know (flag words, header names) is ASCII.
#pragma once
#include <string_view>

namespace tw::formats {

inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

inline bool StartsWithAsciiNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsAsciiNoCase(text.substr(0, prefix.size()), prefix);
}

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace tw::formats
