// Base64, quoted-printable decoding, the "Q" encoding and the UTF-8 encoded
// word of header-like fields.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// The base64 encoder's whole output, its NUL included, stays within this.
inline constexpr size_t kBase64OutputLimit = 32768;

// RFC 4648 alphabet, "=" padding, no line breaks; `out` takes the text and
// its NUL (an encoding of n bytes needs 4 * ceil(n / 3) + 1 bytes, at most
// `capacity` and at most 32768). The number of characters, or -1 when they
// would not fit.
int32_t Base64Encode(std::string_view bytes, char* out, size_t capacity);
// White space is skipped anywhere; decoding stops at the first "=", after
// which only white space (and, after a group of two characters, a second
// "=") may follow. The number of bytes, or -1 on any other character, a
// group cut after one character, or a result that does not fit `capacity`
// (an exactly full buffer fits). With no `out` it only counts.
int32_t Base64Decode(std::string_view text, unsigned char* out, size_t capacity);

// "=" CRLF and "=" LF are soft line breaks; "=XX" (hex, either case) is that
// byte; "=" before anything else is dropped; a final "=" ends the text.
std::string QuotedPrintableDecode(std::string_view text);

// Bytes 0x20 to 0x7E other than "=", "?" and "_" as they are, every other
// byte as "=XX" (upper-case hex); stops at a NUL byte. With `capacity`
// above 0, stops before the output (with its NUL) would reach it: false
// then.
bool QEncode(std::string_view bytes, std::string& out, size_t capacity = 0);

// The text itself when none of its bytes is above 0x80; else
// "=?UTF-8?Q?" + its Q-encoding + "?=".
std::string EncodedWord(std::string_view text);

}  // namespace tw
