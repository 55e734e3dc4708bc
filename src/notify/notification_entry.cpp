#include "notify/notification_entry.h"

#include <exception>
#include <limits>

#include "common/text.h"
#include "frame/event_report.h"
#include "notify/notify_by_rpc.h"

namespace tw {
namespace {

constexpr size_t kFieldCount = 9;

std::string Bounded(std::string_view field, size_t capacity) {
  return field.size() > capacity ? std::string() : std::string(field);
}

std::string FolderKey(std::string_view folder) {
  size_t start = 0;
  while (start < folder.size() && (folder[start] == '/' || folder[start] == '\\')) ++start;
  std::string key(folder.substr(start));
  for (char& c : key) c = c == '/' ? '\\' : ToLowerAscii(c);
  return key;
}

}  // namespace

int64_t LeadingInt64(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // Accumulated as a negative number, whose range is the larger one.
  int64_t value = 0;
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value < (kMin + digit) / 10) {
      value = kMin;
      break;
    }
    value = value * 10 - digit;
  }
  if (negative) return value;
  return value == kMin ? std::numeric_limits<int64_t>::max() : -value;
}

int32_t LeadingInt32(std::string_view text) {
  const int64_t value = LeadingInt64(text);
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

std::string ProtocolOfService(std::string_view service) {
  const std::string_view protocol = service.substr(0, service.find('-'));
  return protocol.size() > kProtocolCapacity ? std::string() : std::string(protocol);
}

bool SameFolder(std::string_view a, std::string_view b) { return FolderKey(a) == FolderKey(b); }

NotificationEntry ParseActivityLine(std::string_view line) {
  std::string_view fields[kFieldCount];
  size_t start = 0;
  for (size_t i = 0; i < kFieldCount && start <= line.size(); ++i) {
    const size_t tab = line.find('\t', start);
    const size_t end = tab == std::string_view::npos ? line.size() : tab;
    fields[i] = line.substr(start, end - start);
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  NotificationEntry entry;
  entry.server = Bounded(fields[0], kEntryTextCapacity);
  entry.service = Bounded(fields[1], kEntryTextCapacity);
  entry.verb = Bounded(fields[2], kEntryTextCapacity);
  entry.clientData = Bounded(fields[3], kEntryTextCapacity);
  entry.port = LeadingInt32(fields[4]);
  entry.clientValue = LeadingInt64(fields[5]);
  entry.folder = Bounded(fields[6], kEntryTextCapacity);
  entry.signalAddress = LeadingInt64(fields[7]);
  entry.sessionId = Bounded(fields[8], kSessionCapacity);
  entry.protocol = ProtocolOfService(entry.service);
  return entry;
}

std::string FormatActivityLine(const NotificationEntry& e, bool first) {
  std::string line = first ? "" : "\n";
  line += e.server + "\t" + e.service + "\t" + e.verb + "\t" + e.clientData + "\t" + std::to_string(e.port) +
          "\t" + std::to_string(e.clientValue) + "\t" + e.folder + "\t" + std::to_string(e.signalAddress) + "\t" +
          e.sessionId;
  return line;
}

void NotificationEntry::PerformNotification(const std::string& changedFolder, const std::string& notifierProtocol,
                                            const std::string& localServer, bool hasData, const char* data,
                                            int32_t length) {
  try {
    result = 1;
    if (!folder.empty() && !changedFolder.empty() && !SameFolder(folder, changedFolder)) {
      interested = 0;
      return;
    }
    // The notifier's own kind of listener on this server hears of the
    // change some other way.
    const bool local = server.empty() || EqualsNoCase(server, localServer);
    if (local && EqualsNoCase(protocol, notifierProtocol)) return;
    if (!hasData) return;
    result = NotifyByRPC(signalAddress, sessionId, data, length, server, protocol, "", notifierProtocol);
  } catch (...) {
    ReportException("NotificationEntry::PerformNotification", kNotifyClientModule, __LINE__,
                    std::current_exception());
    throw;
  }
}

}  // namespace tw
