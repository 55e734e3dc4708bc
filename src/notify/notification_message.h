// The notification message a listener receives, read back by the library:
// TAB-separated "[TW_NOTIFY]", signal address, session, command, five text
// fields, then after the ninth TAB payload lines separated by "\r\n" and
// closed by "\r\n\r\n".
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

enum NotificationCommand : int32_t {
  kCommandAdd = 0,
  kCommandMod = 1,
  kCommandDel = 2,
  kCommandNew = 3,
  kCommandCommit = 4,
  kCommandNfy = 5,
  kCommandBdel = 102,
  kCommandOther = 200,
};

inline constexpr size_t kMessageFieldCapacity = 1023;
inline constexpr size_t kMaxPayloadLines = 1000;

struct NotificationMessage {
  int64_t signalAddress = 0;
  std::string session;
  std::string command;
  int32_t code = kCommandOther;
  // Fields 5 to 9: for ADD, MOD, DEL and NEW the 6th is the postoffice, the
  // 7th the mailbox and the 8th the folder.
  std::array<std::string, 5> fields;
  std::vector<std::string> payload;

  const std::string& Field(size_t number) const { return fields[number - 5]; }
};

// The code of a command, any letter case; kCommandOther when unknown.
int32_t NotificationCommandCode(std::string_view command);

// False when the text does not begin with "[TW_NOTIFY]" and a TAB. A command
// that holds "\r\n\r\n" ends there, leaving the fields and payload empty.
bool ParseNotificationMessage(std::string_view text, NotificationMessage& message);

// A message as a listener shows it, on one line whatever its bytes: CR and
// LF as "\r" and "\n", other control bytes but TAB as "\xHH".
std::string NotificationMessageLine(std::string_view message);

}  // namespace tw
