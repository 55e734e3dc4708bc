// Small text helpers shared across the library. Letter-case rules are ASCII
// only: the store's names and keywords are 8-bit text compared the way the
// C runtime's _stricmp compares them (both sides folded to lower case).
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

char ToUpperAscii(char c);
char ToLowerAscii(char c);
std::string ToUpper(std::string_view text);
std::string ToLower(std::string_view text);

// <0, 0, >0 like _stricmp: bytes compared after folding to lower case.
int CompareNoCase(std::string_view a, std::string_view b);
// Orders texts without regard to case, for sets of names the store
// compares so.
struct LessNoCase {
  bool operator()(std::string_view a, std::string_view b) const { return CompareNoCase(a, b) < 0; }
};
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
// Position of the first match at or after `from`; npos when absent. An empty
// needle matches at `from` (when `from` is inside the text).
size_t FindNoCase(std::string_view haystack, std::string_view needle, size_t from = 0);
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

// A line read from a file the store treats as text, without its line end:
// files written in text mode on Windows end their lines with CR LF.
std::string_view WithoutLineEnd(std::string_view line);

// Copies `source` into `dest`, a buffer of `capacity` bytes, truncating to
// capacity - 1 bytes; the result is always NUL-terminated when capacity > 0.
// Returns the number of bytes copied (without the terminator).
size_t CopyText(char* dest, size_t capacity, std::string_view source);
// A null source copies the empty text.
size_t CopyText(char* dest, size_t capacity, const char* source);

// printf-style formatting into a string holding at most capacity - 1
// characters, like snprintf into a buffer of `capacity` bytes. Use
// kUnboundedText for no limit.
inline constexpr size_t kUnboundedText = static_cast<size_t>(-1);
std::string FormatText(size_t capacity, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string FormatTextV(size_t capacity, const char* format, va_list args) __attribute__((format(printf, 2, 0)));

}  // namespace tw
