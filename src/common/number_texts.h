// Decimal numbers as the store writes and reads them: always with a "." and
// no grouping, whatever locale the calling process has set.
#pragma once
#include <string>
#include <string_view>

namespace tw {

// strtod rules in the C locale: leading blanks, an optional sign, the
// longest decimal number (or "inf", "infinity", "nan") at the start; 0 when
// there is none. Too large gives the signed infinity, too small 0.
// Hexadecimal forms are not read (they read as 0).
double DoubleFromText(std::string_view text);

// printf's "%*.*f" in the C locale: `decimals` digits after the point,
// right-aligned with blanks in at least `width` characters. At most 40
// decimals.
std::string FixedPointText(double value, int width, int decimals);

}  // namespace tw
