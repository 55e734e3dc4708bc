#include "index/messages/pending_deliveries.h"

#include <algorithm>

#include "common/file_management.h"
#include "index/file/store_index_serialiser.h"
#include "index/messages/message_item.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/mutex.h"
#include "platform/system_info.h"

namespace tw {
namespace {

// Far more than deliverers ever leave behind; a larger file is damage and
// is read no further.
constexpr size_t kMaxFileBytes = 1 << 20;
constexpr size_t kMaxFlagBytes = 254;

std::string PendingPath(const std::string& folderPath) { return InFolder(folderPath, kPendingDeliveriesFile); }

// Tabs and line ends would split the line; the direct insert drops longer
// flag texts anyway.
std::string LineFor(const std::string& name, const std::string& flags) {
  std::string kept = flags.size() > kMaxFlagBytes ? std::string() : flags;
  std::replace_if(kept.begin(), kept.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return name + "\t" + kept + "\n";
}

std::string ReadText(const std::string& path) {
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::Read, platform::Share::All, platform::Disposition::OpenExisting);
  if (!file.IsOpen()) return {};
  std::string text(static_cast<size_t>(std::clamp<int64_t>(file.Size(), 0, kMaxFileBytes)), '\0');
  size_t got = 0;
  if (!file.Read(text.data(), text.size(), got)) return {};
  text.resize(got);
  return text;
}

bool WriteText(const std::string& path, const std::string& text) {
  const std::string temporary = path + "." + std::to_string(platform::CurrentProcessId()) + "." +
                                std::to_string(platform::CurrentThreadId()) + ".tmp";
  bool written = false;
  {
    platform::FileHandle file = platform::OpenFile(temporary, platform::Access::Write, platform::Share::None,
                                                   platform::Disposition::CreateAlways);
    written = file.IsOpen() && file.Write(text.data(), text.size());
  }
  if (written && platform::ReplaceFile(temporary, path)) return true;
  platform::DeleteFile(temporary);
  return false;
}

}  // namespace

bool HasPendingDeliveries(const std::string& folderPath) {
  return platform::GetFileAttributes(PendingPath(folderPath)) != platform::kInvalidAttributes;
}

std::map<std::string, std::string> ReadPendingDeliveries(const std::string& folderPath) {
  std::map<std::string, std::string> pending;
  const std::string text = ReadText(PendingPath(folderPath));
  size_t at = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; at = end + 1, end = text.find('\n', at)) {
    const std::string_view line(text.data() + at, end - at);
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    const std::string name(line.substr(0, tab));
    if (!IsIndexableMessageName(name)) continue;
    pending[name] = std::string(line.substr(tab + 1, kMaxFlagBytes));
  }
  return pending;
}

bool RecordPendingDelivery(const std::string& folderPath, const std::string& name, const std::string& flags) {
  platform::FileHandle file = platform::OpenFile(PendingPath(folderPath), platform::Access::ReadWrite,
                                                 platform::Share::All, platform::Disposition::OpenAlways);
  if (!file.IsOpen()) return false;
  const std::string line = LineFor(name, flags);
  return file.Seek(0, platform::SeekFrom::End) && file.Write(line.data(), line.size());
}

void ForgetPendingDeliveries(const std::string& folderPath, const std::vector<std::string>& names) {
  if (names.empty() || !HasPendingDeliveries(folderPath)) return;
  std::map<std::string, std::string> pending = ReadPendingDeliveries(folderPath);
  for (const std::string& name : names) pending.erase(name);
  if (pending.empty()) {
    ClearPendingDeliveries(folderPath);
    return;
  }
  std::string text;
  for (const auto& [name, flags] : pending) text += LineFor(name, flags);
  WriteText(PendingPath(folderPath), text);
}

void ClearPendingDeliveries(const std::string& folderPath) { platform::DeleteFile(PendingPath(folderPath)); }

}  // namespace tw
