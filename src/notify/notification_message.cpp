#include "notify/notification_message.h"

#include <cstdio>

#include "common/text.h"
#include "notify/notification_entry.h"

namespace tw {
namespace {

constexpr std::string_view kHead = "[TW_NOTIFY]\t";
constexpr std::string_view kEnd = "\r\n\r\n";
constexpr std::string_view kLineEnd = "\r\n";

// The text up to the next TAB (or the end), moving `rest` past the TAB.
// `tabFound` says whether one ended the field.
std::string_view NextField(std::string_view& rest, bool& tabFound) {
  const size_t tab = rest.find('\t');
  tabFound = tab != std::string_view::npos;
  const std::string_view field = rest.substr(0, tab);
  rest = tabFound ? rest.substr(tab + 1) : std::string_view();
  return field;
}

std::string Bounded(std::string_view field, size_t capacity) {
  return field.size() > capacity ? std::string() : std::string(field);
}

}  // namespace

int32_t NotificationCommandCode(std::string_view command) {
  static constexpr struct {
    const char* name;
    int32_t code;
  } kCommands[] = {{"ADD", kCommandAdd},       {"MOD", kCommandMod}, {"DEL", kCommandDel},
                   {"NEW", kCommandNew},       {"COMMIT", kCommandCommit}, {"NFY", kCommandNfy},
                   {"BDEL", kCommandBdel}};
  for (const auto& c : kCommands)
    if (EqualsNoCase(command, c.name)) return c.code;
  return kCommandOther;
}

bool ParseNotificationMessage(std::string_view text, NotificationMessage& message) {
  message = NotificationMessage();
  if (text.substr(0, kHead.size()) != kHead) return false;
  std::string_view rest = text.substr(kHead.size());
  bool tab = false;
  message.signalAddress = LeadingInt64(NextField(rest, tab));
  if (!tab) return true;
  message.session = Bounded(NextField(rest, tab), kSessionCapacity);
  if (!tab) return true;

  const size_t end = rest.find(kEnd);
  const size_t commandTab = rest.find('\t');
  if (end != std::string_view::npos && (commandTab == std::string_view::npos || end < commandTab)) {
    message.command = Bounded(rest.substr(0, end), kMessageFieldCapacity);
    message.code = NotificationCommandCode(message.command);
    return true;
  }
  message.command = Bounded(NextField(rest, tab), kMessageFieldCapacity);
  message.code = NotificationCommandCode(message.command);
  for (std::string& field : message.fields) {
    if (!tab) return true;
    field = Bounded(NextField(rest, tab), kMessageFieldCapacity);
  }
  if (!tab) return true;
  while (!rest.empty() && message.payload.size() < kMaxPayloadLines) {
    const size_t lineEnd = rest.find(kLineEnd);
    const std::string_view line = rest.substr(0, lineEnd);
    if (line.empty()) break;  // the closing blank line
    message.payload.emplace_back(line);
    rest = lineEnd == std::string_view::npos ? std::string_view() : rest.substr(lineEnd + kLineEnd.size());
  }
  return true;
}

std::string NotificationMessageLine(std::string_view message) {
  std::string line;
  line.reserve(message.size());
  for (unsigned char c : message) {
    if (c == '\r') {
      line += "\\r";
    } else if (c == '\n') {
      line += "\\n";
    } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      line += hex;
    } else {
      line += static_cast<char>(c);
    }
  }
  return line;
}

}  // namespace tw
