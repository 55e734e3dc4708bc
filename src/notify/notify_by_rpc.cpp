#include "notify/notify_by_rpc.h"

#include <cstring>
#include <exception>
#include <new>

#include "frame/event_report.h"
#include "notify/notification_library.h"
#include "notify/notify_log.h"

namespace tw {

namespace {
constexpr const char* kMessageHead = "[TW_NOTIFY]\t";
constexpr const char* kMessageEnd = "\r\n\r\n";
constexpr size_t kMessageReserve = 512;

void ReportToEventLog(const char* text) { ReportStoreEvent(kEventTypeError, "Tarnwick", nullptr, kStoreEventId, text); }
}  // namespace

std::string_view NotificationDataText(const char* data, int32_t length) {
  if (data == nullptr || length < 1) return {};
  return std::string_view(data, strnlen(data, static_cast<size_t>(length)));
}

std::string FormatNotificationMessage(int64_t signalAddress, const std::string& session, const char* data,
                                      int32_t length) {
  const std::string_view text = NotificationDataText(data, length);
  std::string message = kMessageHead + std::to_string(signalAddress) + "\t" + session + "\t";
  message.append(text);
  if (text.find(kMessageEnd) == std::string_view::npos) message += kMessageEnd;
  const size_t capacity = static_cast<size_t>(length > 0 ? length : 0) + kMessageReserve - 1;
  if (message.size() > capacity) message.resize(capacity);
  return message;
}

int32_t NotifyByRPC(int64_t signalAddress, const std::string& session, const char* data, int32_t length,
                    const std::string& server, const std::string& protocol, const std::string& fromServer,
                    const std::string& fromProtocol) {
  try {
    const NotifyRemoteFunction notifyRemote = NotifyRemoteEntry();
    if (notifyRemote == nullptr) {
      ReportToEventLog(
          "Warning: Cluster Notification Generated, but could not be sent because NotifyRemote function could not "
          "be found. RPC notifications cannot be processed\n");
      return 1;
    }
    std::string message;
    try {
      message = FormatNotificationMessage(signalAddress, session, data, length);
    } catch (const std::bad_alloc&) {
      ReportToEventLog("Could not allocate memory for notification. RPC notifications cannot be processed\n");
      return 1;
    }
    // The library hands over copies of its own: the entry point may keep
    // nothing of ours.
    const std::string serverCopy = server;
    const std::string protocolCopy = protocol;
    if (notifyRemote(serverCopy.c_str(), protocolCopy.c_str(), message.c_str()) == 0) return 1;
    NotifyLog("Warning: NotifyRemote function failed. Unable to notify server (" + server + ") from server ( " +
              fromServer + ") with protocol (" + protocol + ") from protocol (" + fromProtocol + ")\n");
    return 0;
  } catch (...) {
    ReportException("NotifyByRPC", kNotifyClientModule, __LINE__, std::current_exception());
    throw;
  }
}

}  // namespace tw
