#include "notify/notification_library.h"

#include <atomic>
#include <mutex>
#include <string>

#include "frame/event_report.h"
#include "frame/seams.h"
#include "platform/last_error.h"
#include "platform/library_loader.h"

namespace tw {
namespace {

std::mutex g_libraryMutex;
platform::LibraryHandle g_library = nullptr;
std::atomic<NotifyRemoteFunction> g_notifyRemote{nullptr};
std::atomic<NotifyRemoteFunction> g_replacement{nullptr};

void ReportToEventLog(const std::string& text) {
  ReportStoreEvent(kEventTypeError, "Tarnwick", nullptr, kStoreEventId, text);
}

// Ahead of the shared library's own constructor, which runs process attach
// and with it StoreLibrary_Init.
__attribute__((constructor(101))) void InstallAtLoad() { InstallNotificationSeams(); }

}  // namespace

void LoadNotificationLibrary() {
  std::lock_guard<std::mutex> lock(g_libraryMutex);
  if (g_library == nullptr) {
    g_library = platform::LoadLibrary("TWNOTIFY.DLL");
    if (g_library == nullptr) {
      ReportToEventLog(
          "Notification Library TWNOTIFY.DLL could not be loaded. RPC notifications cannot be processed\n");
      return;
    }
  }
  if (g_notifyRemote.load() != nullptr) return;
  void* entry = platform::GetProcAddress(g_library, "NotifyRemote");
  if (entry == nullptr) {
    ReportToEventLog(
        "Unable to find NotifyRemote entrypoint in TWNOTIFY.DLL. RPC notifications cannot be processed. Return "
        "Code: " +
        std::to_string(platform::GetLastError()) + "\n");
    return;
  }
  g_notifyRemote = reinterpret_cast<NotifyRemoteFunction>(entry);
}

void UnloadNotificationLibrary() {
  std::lock_guard<std::mutex> lock(g_libraryMutex);
  g_notifyRemote = nullptr;
  if (g_library != nullptr) platform::FreeLibrary(g_library);
  g_library = nullptr;
}

NotifyRemoteFunction NotifyRemoteEntry() {
  if (NotifyRemoteFunction replacement = g_replacement.load()) return replacement;
  return g_notifyRemote.load();
}

NotifyRemoteFunction SetNotifyRemoteForTesting(NotifyRemoteFunction replacement) {
  return g_replacement.exchange(replacement);
}

void InstallNotificationSeams() {
  Seams().loadNotificationLibrary = &LoadNotificationLibrary;
  Seams().unloadNotificationLibrary = &UnloadNotificationLibrary;
}

}  // namespace tw
