// One line of a mailbox's activity file: a listener waiting to hear of
// changes to the mailbox's folders. Nine TAB-separated fields; text fields
// longer than their capacity read as empty, numbers as their leading digits.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

inline constexpr size_t kEntryTextCapacity = 1023;
inline constexpr size_t kSessionCapacity = 255;
inline constexpr size_t kProtocolCapacity = 255;
inline constexpr const char* kListenVerb = "X-LISTEN";

struct NotificationEntry {
  std::string server;      // empty: this server
  std::string service;     // "<protocol>-<rest>"
  std::string verb;
  std::string clientData;  // carried through
  int32_t port = 0;
  int64_t clientValue = 0;  // carried through
  std::string folder;      // empty: every folder
  int64_t signalAddress = 0;
  std::string sessionId;

  // Kept in memory only.
  std::string protocol;
  int32_t interested = 1;
  int32_t result = 0;

  // Decides whether this listener hears of a change to `changedFolder` and
  // notifies it; sets `result` (1 keep the entry, 0 or -1 remove it).
  void PerformNotification(const std::string& changedFolder, const std::string& notifierProtocol,
                           const std::string& localServer, bool hasData, const char* data, int32_t length);
};

// The entry of one line (without its line end). Missing fields stay empty
// or 0; a TAB after the ninth field ends it.
NotificationEntry ParseActivityLine(std::string_view line);
// The line as written to the file; every line but the first begins with
// "\n", and no line ends with one.
std::string FormatActivityLine(const NotificationEntry& entry, bool first);

// The text before the first "-" (all of it without one); empty when that
// part has 256 characters or more.
std::string ProtocolOfService(std::string_view service);
// Folder names name the same folder when they match without regard to case
// after leading "/" and "\" are dropped and "/" is read as "\".
bool SameFolder(std::string_view a, std::string_view b);
// Decimal with optional sign and leading blanks, up to the first non-digit;
// out-of-range values saturate.
int64_t LeadingInt64(std::string_view text);
int32_t LeadingInt32(std::string_view text);

}  // namespace tw
