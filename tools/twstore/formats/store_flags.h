// The message flags the store keeps as text ("\RECENT \SEEN \FLAGGED"), as a
// set the mail formats translate from and to.
#pragma once
#include <string>
#include <string_view>

namespace tw::formats {

struct MessageFlags {
  bool recent = false;
  bool seen = false;
  bool answered = false;
  bool flagged = false;
  bool deleted = false;
  bool draft = false;
  bool operator==(const MessageFlags&) const = default;
};

// The store's words in one fixed order, blank-separated; "" for no flags.
std::string StoreFlagsText(const MessageFlags& flags);

// Blank-separated words in any letter case; words the formats cannot carry
// (keywords, "$Junk", malformed words) are ignored.
MessageFlags ParseStoreFlags(std::string_view text);

}  // namespace tw::formats
