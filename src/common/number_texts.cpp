#include "common/number_texts.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace tw {
namespace {

constexpr int kMostDecimals = 40;

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A well-formed number that does not fit a double is too large when its
// first significant digit lies above the units place, counting the exponent.
bool TooLarge(std::string_view number) {
  size_t i = 0;
  long long order = 0;
  bool significant = false;
  for (; i < number.size() && IsDigit(number[i]); ++i) {
    significant = significant || number[i] != '0';
    if (significant) ++order;
  }
  if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && IsDigit(number[i]); ++i) {
      if (significant) continue;
      if (number[i] != '0') significant = true;
      else --order;
    }
  }
  long long exponent = 0;
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    const bool negative = i < number.size() && number[i] == '-';
    if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
    for (; i < number.size() && IsDigit(number[i]); ++i)
      if (exponent < 1000000000) exponent = exponent * 10 + (number[i] - '0');
    if (negative) exponent = -exponent;
  }
  return order + exponent > 0;
}

}  // namespace

double DoubleFromText(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // from_chars takes a "-" of its own; a second sign is no number.
  if (i == text.size() || text[i] == '+' || text[i] == '-') return 0;
  const std::string_view number = text.substr(i);
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range)
    value = TooLarge(number.substr(0, static_cast<size_t>(end - number.data())))
                ? std::numeric_limits<double>::infinity()
                : 0.0;
  else if (error != std::errc())
    value = 0;
  return negative ? -value : value;
}

std::string FixedPointText(double value, int width, int decimals) {
  // The widest fixed form of a double: sign, 309 digits, point, decimals.
  char digits[320 + kMostDecimals];
  decimals = decimals < 0 ? 0 : decimals > kMostDecimals ? kMostDecimals : decimals;
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
  const std::string_view text(digits, error == std::errc() ? static_cast<size_t>(end - digits) : 0);
  std::string out;
  if (width > 0 && static_cast<size_t>(width) > text.size()) out.assign(static_cast<size_t>(width) - text.size(), ' ');
  out += text;
  return out;
}

}  // namespace tw
