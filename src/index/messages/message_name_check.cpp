#include "index/messages/message_name_check.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <string_view>

#include "index/file/index_file_format.h"
#include "index/file/serialisation_log.h"

namespace tw {
namespace {

// Far more than any folder holds by mistake; keeps a hostile flood of
// names from costing unbounded memory.
constexpr size_t kRemembered = 10000;

struct Reported {
  std::mutex mutex;
  std::set<std::string> names;
  bool full = false;
};

Reported& ReportedNames() {
  static Reported* reported = new Reported;
  return *reported;
}

// Well-formed UTF-8 as it is, every other byte as \xHH.
std::string Shown(std::string_view text) {
  std::string shown;
  while (!text.empty()) {
    const size_t bad = FirstInvalidUtf8(text);
    shown.append(text.substr(0, bad));
    if (bad == std::string_view::npos) break;
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[bad]));
    shown += hex;
    text.remove_prefix(bad + 1);
  }
  return shown;
}

}  // namespace

bool KeepableMessageName(const std::string& folder, const std::string& name) {
  if (FirstInvalidUtf8(name) == std::string::npos) return true;
  Reported& reported = ReportedNames();
  std::string line;
  {
    std::lock_guard<std::mutex> lock(reported.mutex);
    const std::string key = folder + '\n' + name;
    if (reported.names.count(key) != 0) return false;
    if (reported.names.size() < kRemembered) {
      reported.names.insert(key);
      line = "Message file not indexed: its name is not valid UTF-8: " + Shown(folder) + "\\" + Shown(name) + "\n";
    } else if (!reported.full) {
      reported.full = true;
      line = "Message files not indexed: further names that are not valid UTF-8 are not reported\n";
    }
  }
  if (!line.empty()) WriteSerialisationLog(line);
  return false;
}

}  // namespace tw
