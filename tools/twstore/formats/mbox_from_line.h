// The "From " line that opens each message of an mbox:
// "From alice@example.com Thu Dec  3 10:00:00 2026".
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::formats {

struct MboxEnvelope {
  std::string sender;           // the first word after "From "; may be empty
  std::optional<int64_t> time;  // Unix seconds from the asctime date, read as UTC
};

// `line` without its line end, "From " included. A date that is missing or
// not asctime-shaped ("Www Mmm dd hh:mm[:ss] [zone] yyyy", zone words
// ignored) leaves `time` empty.
MboxEnvelope ParseMboxFromLine(std::string_view line);

// asctime form of a Unix time in UTC: "Thu Dec  3 10:00:00 2026". Times
// outside years 1-9999 are clamped.
std::string AsctimeUtc(int64_t unixSeconds);

// The line without line end; blanks and control bytes in the sender become
// "_", an empty sender is "MAILER-DAEMON".
std::string MboxFromLine(std::string_view sender, int64_t unixSeconds);

}  // namespace tw::formats
