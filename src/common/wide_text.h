// 16-bit text made from the store's 8-bit texts, for the wide value types of
// the item interface.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "common/utf8_append.h"

namespace tw {

// UTF-8 to UTF-16 in native byte order, code points above U+FFFF as
// surrogate pairs. A byte that does not begin a well-formed sequence
// (stray continuation bytes, overlong forms, surrogates, code points above
// U+10FFFF, sequences cut short) stands for the Latin-1 character of that
// value, so texts written in the older 8-bit form still read as they were
// meant; nothing is dropped. No more units than bytes.
std::u16string WideFromUtf8(std::string_view text);

// UTF-16 back to UTF-8; an unpaired surrogate is written as it stands.
std::string Utf8FromWide(std::u16string_view text);

}  // namespace tw
