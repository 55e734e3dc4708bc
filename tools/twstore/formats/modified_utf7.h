// Folder-name text in IMAP's modified UTF-7 (RFC 3501 5.1.3): printable
// ASCII stands for itself, "&" is written "&-", anything else is "&", the
// modified base64 ("," for "/") of its UTF-16BE form, then "-".
//
// The encoder takes a set of printable characters to encode as well: the
// store and Maildir++ each refuse a few (a strict IMAP reader would call
// that over-encoding; every decoder reads it back).
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tw::formats {

// nullopt when `utf8` is not well-formed UTF-8 (or holds U+0000).
std::optional<std::string> EncodeModifiedUtf7(std::string_view utf8,
                                              const std::function<bool(char)>& alsoEncode = nullptr);

// UTF-8 text; nullopt for malformed input: bytes outside 0x20-0x7E, an "&"
// run without its "-", characters outside the base64 set, leftover bits
// that are not zero, an odd byte, an unpaired surrogate, U+0000.
std::optional<std::string> DecodeModifiedUtf7(std::string_view text);

// Well-formed UTF-8 without U+0000 (no overlong forms, no surrogates).
bool IsWellFormedUtf8(std::string_view text);

}  // namespace tw::formats
