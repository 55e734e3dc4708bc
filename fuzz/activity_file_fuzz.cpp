// Hostile activity files through a whole notification pass. The first
// eight bytes seed which listeners NotifyRemote reaches; the rest is the
// file. Whatever the bytes: no temporary or block file stays behind, a pass
// that reaches everyone leaves the file as it was, every entry a pass keeps
// is one of the file's, and parsing a line back from its formatted form
// gives the same entry.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "notify/activity_file.h"
#include "notify/notification_library.h"
#include "notify/notification_message.h"
#include "notify/notify_clients.h"
#include "notify/notify_log.h"
#include "platform/sleep.h"

namespace {

std::string g_dir;
uint64_t g_state = 0;
bool g_anyFailed = false;

int StubNotifyRemote(const char*, const char*, const char* message) {
  if (message == nullptr || std::strncmp(message, "[TW_NOTIFY]\t", 12) != 0) std::abort();
  g_state = g_state * 6364136223846793005ULL + 1442695040888963407ULL;
  const bool fail = (g_state >> 61) < 3;
  g_anyFailed = g_anyFailed || fail;
  return fail ? 1225 : 0;
}

void NoSleep(uint32_t) {}
void NoLog(const std::string&) {}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists(g_dir + "/" + name, ec);
}

bool SameEntry(const tw::NotificationEntry& a, const tw::NotificationEntry& b) {
  return a.server == b.server && a.service == b.service && a.verb == b.verb && a.clientData == b.clientData &&
         a.port == b.port && a.clientValue == b.clientValue && a.folder == b.folder &&
         a.signalAddress == b.signalAddress && a.sessionId == b.sessionId && a.protocol == b.protocol;
}

std::deque<tw::NotificationEntry> ParseText(std::string text) {
  std::deque<tw::NotificationEntry> entries;
  if (text.empty()) return entries;
  FILE* stream = fmemopen(text.data(), text.size(), "r");
  if (stream == nullptr) std::abort();
  entries = tw::ReadActivityEntries(stream);
  std::fclose(stream);
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TW_REGISTRY_FILE", "/nonexistent/twstore-fuzz.reg", 1);
  // $TMPDIR on a tmpfs (/dev/shm) runs many times faster than on disk.
  std::string pattern = std::filesystem::temp_directory_path().string() + "/twfuzz-activity-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  g_dir = pattern;
  tw::platform::SetSleepFunction(&NoSleep);
  tw::SetNotifyLogSink(&NoLog);
  tw::SetNotifyRemoteForTesting(&StubNotifyRemote);
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_state = 0;
  const size_t seedBytes = size < 8 ? size : 8;
  for (size_t i = 0; i < seedBytes; ++i) g_state = (g_state << 8) | data[i];
  const std::string text(reinterpret_cast<const char*>(data) + seedBytes, size - seedBytes);

  // Every entry read back from its own line is the same entry.
  const std::deque<tw::NotificationEntry> before = ParseText(text);
  std::set<std::string> lines;
  for (const tw::NotificationEntry& entry : before) {
    const std::string line = tw::FormatActivityLine(entry, true);
    lines.insert(line);
    if (line.size() <= tw::kActivityLineCapacity && (line.empty() || line.back() != '\r') &&
        !SameEntry(tw::ParseActivityLine(line), entry))
      std::abort();
  }
  // The same bytes as a notification message.
  tw::NotificationMessage message;
  tw::ParseNotificationMessage(text, message);
  if (message.payload.size() > tw::kMaxPayloadLines) std::abort();

  const std::string activity = g_dir + "/_activity.tab";
  {
    std::ofstream out(activity, std::ios::binary | std::ios::trunc);
    out << text;
  }
  g_anyFailed = false;
  tw::NotifyClients(g_dir, "Inbox", "COMMIT", 255);
  if (Exists("_activity.tmp") || Exists("_activity.blk")) std::abort();
  if (!g_anyFailed && Slurp(activity) != text) std::abort();
  if (g_anyFailed && Exists("_activity.tab")) {
    // A rewritten file holds only lines of entries the file had.
    std::istringstream rewritten(Slurp(activity));
    for (std::string line; std::getline(rewritten, line);)
      if (lines.count(line) == 0) std::abort();
  }
  std::remove(activity.c_str());
  return 0;
}
