// Sending one notification to one listener through the notification
// library's NotifyRemote.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// Where the exception reports of change notification say they come from.
inline constexpr const char* kNotifyClientModule = "..\\services\\Library\\LIBAppNotifyClient";

// The text the caller's buffer holds: up to its first NUL, at most `length`
// bytes; empty for a null buffer or a length below 1.
std::string_view NotificationDataText(const char* data, int32_t length);

// "[TW_NOTIFY]\t<signal address>\t<session>\t<data>" and "\r\n\r\n" unless the
// data already holds it; at most length + 511 characters.
std::string FormatNotificationMessage(int64_t signalAddress, const std::string& session, const char* data,
                                      int32_t length);

// 1 when the entry stays in the activity file (also when NotifyRemote is
// not available), 0 when the listener did not accept the notification.
int32_t NotifyByRPC(int64_t signalAddress, const std::string& session, const char* data, int32_t length,
                    const std::string& server, const std::string& protocol, const std::string& fromServer,
                    const std::string& fromProtocol);

}  // namespace tw
