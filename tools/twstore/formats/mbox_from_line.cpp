#include "formats/mbox_from_line.h"

#include <array>
#include <cstdio>
#include <vector>

#include "formats/ascii_text.h"

namespace tw::formats {
namespace {

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> kWeekdays = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};

constexpr int64_t kMinSeconds = -62135596800;  // 0001-01-01
constexpr int64_t kMaxSeconds = 253402300799;  // 9999-12-31 23:59:59

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

// Digits only, at most `maxDigits`; -1 otherwise.
int64_t Number(std::string_view text, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return -1;
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// "hh:mm" or "hh:mm:ss" as seconds into the day; -1 otherwise.
int64_t TimeOfDay(std::string_view text) {
  int64_t parts[3] = {0, 0, 0};
  size_t count = 0;
  size_t start = 0;
  while (count < 3) {
    const size_t colon = text.find(':', start);
    parts[count] = Number(text.substr(start, colon == std::string_view::npos ? colon : colon - start), 2);
    if (parts[count] < 0) return -1;
    ++count;
    if (colon == std::string_view::npos) break;
    start = colon + 1;
    if (count == 3) return -1;
  }
  if (count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 60) return -1;
  return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

std::optional<int64_t> ParseAsctime(const std::vector<std::string_view>& words) {
  // Www Mmm dd hh:mm[:ss] [zone words] yyyy
  if (words.size() < 5) return std::nullopt;
  size_t month = kMonths.size();
  for (size_t k = 0; k < kMonths.size(); ++k) {
    if (EqualsAsciiNoCase(words[1], kMonths[k])) month = k;
  }
  if (month == kMonths.size()) return std::nullopt;
  const int64_t day = Number(words[2], 2);
  const int64_t seconds = TimeOfDay(words[3]);
  int64_t year = -1;
  for (size_t k = 4; k < words.size() && year < 0; ++k) year = Number(words[k], 4);
  if (day < 1 || seconds < 0 || year < 1) return std::nullopt;
  if (day > DaysInMonth(year, static_cast<unsigned>(month + 1))) return std::nullopt;
  return DaysFromCivil(year, static_cast<unsigned>(month + 1), static_cast<unsigned>(day)) * 86400 + seconds;
}

}  // namespace

MboxEnvelope ParseMboxFromLine(std::string_view line) {
  MboxEnvelope envelope;
  if (line.substr(0, 5) != "From ") return envelope;
  std::string_view rest = line.substr(5);
  // The sender is everything up to the first blank; "From  Thu ..." has none.
  if (!rest.empty() && !IsBlank(rest[0])) {
    const size_t blank = rest.find_first_of(" \t");
    envelope.sender = std::string(rest.substr(0, blank));
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank);
  }
  envelope.time = ParseAsctime(Words(rest));
  return envelope;
}

std::string AsctimeUtc(int64_t unixSeconds) {
  if (unixSeconds < kMinSeconds) unixSeconds = kMinSeconds;
  if (unixSeconds > kMaxSeconds) unixSeconds = kMaxSeconds;
  int64_t days = unixSeconds / 86400;
  int64_t seconds = unixSeconds % 86400;
  if (seconds < 0) {
    seconds += 86400;
    --days;
  }
  int64_t year;
  unsigned month;
  unsigned day;
  CivilFromDays(days, year, month, day);
  const int64_t weekday = ((days % 7) + 7) % 7;  // 1970-01-01 was a Thursday
  char text[48];
  std::snprintf(text, sizeof text, "%.3s %.3s %2u %02d:%02d:%02d %04d", kWeekdays[weekday].data(),
                kMonths[month - 1].data(), day, static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60), static_cast<int>(year));
  return text;
}

std::string MboxFromLine(std::string_view sender, int64_t unixSeconds) {
  std::string line = "From ";
  if (sender.empty()) {
    line += "MAILER-DAEMON";
  } else {
    for (const char c : sender) {
      const unsigned char u = static_cast<unsigned char>(c);
      line += u <= 0x20 || u == 0x7F ? '_' : c;
    }
  }
  line += ' ';
  line += AsctimeUtc(unixSeconds);
  return line;
}

}  // namespace tw::formats
