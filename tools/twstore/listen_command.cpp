// twstore listen: a listener of one protocol for one mailbox. It enters
// itself into the mailbox's activity file, prints every notification the
// store sends it, and leaves the file again when it ends.
#include "commands.h"
#include "common/text.h"
#include "mail_folder.h"
#include "notify/activity_registration.h"
#include "notify/notification_entry.h"
#include "notify/notification_message.h"
#include "notify/notify_clients.h"
#include "notify/notify_settings.h"
#include "platform/files.h"
#include "platform/notify_socket.h"
#include "platform/system_info.h"
#include "stop_signal.h"

namespace tw::cli {

namespace {

constexpr size_t kMaxMessage = 64 * 1024;
constexpr size_t kMaxPieces = platform::FrameLimits{}.maxPieces;
constexpr uint32_t kAcceptSliceMs = 200;  // how soon a signal is noticed

// A TAB or a line end would split the line into fields or listeners of
// someone else's choosing.
bool FitsActivityField(const std::string& text) {
  if (text.size() > kEntryTextCapacity) return false;
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

}  // namespace

int Listen(const ListenRequest& request, std::ostream& out, std::ostream& err) {
  // The protocol names the socket file and ends at the service's first "-".
  const std::string socketPath = platform::NotifySocketPath(request.protocol);
  if (socketPath.empty()) {
    err << "twstore: protocol " << Quoted(request.protocol) << " is not allowed (letters, digits, _ and . only)\n";
    return kExitRefused;
  }
  // Both become fields of this listener's line in the activity file.
  for (const std::string* field : {&request.folder, &request.server}) {
    if (FitsActivityField(*field)) continue;
    err << "twstore: " << Quoted(*field) << " cannot be written to the activity file (control bytes, or more than "
        << kEntryTextCapacity << " characters)\n";
    return kExitRefused;
  }
  // Empty means every folder; a name of the mailbox itself matches none.
  if (!request.folder.empty() && NamesMailboxItself(request.folder)) {
    err << "twstore: folder " << Quoted(request.folder)
        << " is not allowed: it names the mailbox directory itself, not a folder in it\n";
    return kExitRefused;
  }
  std::string mailboxDirectory;
  if (const int rc = FindMailbox(request.postoffice, request.mailbox, mailboxDirectory, err); rc != 0) return rc;
  const std::string runtime = platform::NotifyRuntimeDirectory();
  if (!platform::EnsureNotifyRuntimeDirectory(runtime)) {
    err << "twstore: cannot use " << runtime << " for sockets (missing, or not a directory of this user)\n";
    return 1;
  }
  platform::NotifySocketServer server;
  if (!server.ListenUnix(socketPath)) {
    err << "twstore: cannot listen on " << socketPath << " (another listener of this protocol?)\n";
    return 1;
  }

  NotificationEntry entry;
  entry.server = request.server.empty() ? platform::ComputerName() : request.server;
  entry.service = request.protocol + "-listen";
  entry.verb = kListenVerb;
  entry.folder = request.folder;
  entry.signalAddress = static_cast<int64_t>(platform::CurrentProcessId());
  entry.sessionId = "listen-" + std::to_string(entry.signalAddress);

  WatchStopSignals();
  if (!AddActivityEntry(mailboxDirectory, entry)) {
    err << "twstore: cannot add this listener to " << platform::ToSystemPath(mailboxDirectory) << "/_activity.tab\n";
    return 1;
  }
  out << "listening on " << socketPath << " for " << platform::ToSystemPath(mailboxDirectory) << " as "
      << entry.sessionId << std::endl;

  // Twice the notifier's reply wait to read, half of it to answer: 1000 and
  // 250 ms at the default "Notify Timeout".
  const uint32_t readMs = 2 * NotifyTimeout(), replyMs = NotifyTimeout() / 2;
  int received = 0;
  while (!StopRequested() && (request.count <= 0 || received < request.count)) {
    platform::NotifyConnection connection = server.Accept(kAcceptSliceMs);
    if (!connection.IsOpen()) continue;
    std::string message;
    const platform::FrameResult read = connection.ReadMessage(message, {kMaxMessage, kMaxPieces, readMs});
    if (read != platform::FrameResult::kComplete) {
      err << "twstore: refused a notification: " << platform::FrameRefusal(read) << std::endl;
      connection.Write("NO\n", replyMs);
      continue;
    }
    if (message.empty()) continue;
    out << NotificationMessageLine(message) << std::endl;
    connection.Write("OK\n", replyMs);
    ++received;
  }

  server.Close();
  if (!RemoveActivityEntry(mailboxDirectory, entry)) {
    err << "twstore: could not remove this listener from the activity file\n";
    return 1;
  }
  return 0;
}

}  // namespace tw::cli
