#include "index/locking/block_owner.h"

#include <charconv>
#include <climits>
#include <mutex>

#include "platform/system_info.h"

namespace tw {
namespace {

constexpr size_t kMaxHost = 255;
constexpr size_t kMaxBoot = 64;

bool IsHostName(std::string_view text) {
  if (text.empty() || text.size() > kMaxHost) return false;
  for (const char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '-' || c == '_';
    if (!plain) return false;
  }
  return true;
}

bool IsBootId(std::string_view text) {
  if (text.empty() || text.size() > kMaxBoot) return false;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-')) return false;
  return true;
}

// Plain decimal up to `limit`: no sign, no leading zero, no overflow.
bool ParseNumber(std::string_view text, uint64_t limit, uint64_t& value) {
  if (text.empty() || (text.size() > 1 && text.front() == '0')) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value <= limit;
}

// Takes "<key>=<value>" and the blank or line end after it off `text`.
bool NextField(std::string_view& text, std::string_view key, char end, std::string_view& value) {
  if (text.substr(0, key.size()) != key || text.size() <= key.size() || text[key.size()] != '=') return false;
  text.remove_prefix(key.size() + 1);
  const size_t stop = text.find(end);
  if (stop == std::string_view::npos) return false;
  value = text.substr(0, stop);
  text.remove_prefix(stop + 1);
  return true;
}

struct Self {
  std::string host;
  std::string boot;
};

const Self& This() {
  static const Self self{platform::ComputerName(), platform::BootId()};
  return self;
}

// The start time of this process, read again in a forked child.
bool OwnStartTime(uint64_t pid, uint64_t& start) {
  static std::mutex lock;
  static uint64_t knownPid = 0;
  static uint64_t knownStart = 0;
  std::lock_guard<std::mutex> guard(lock);
  if (knownPid != pid) {
    if (!platform::ProcessStartTime(pid, knownStart)) return false;
    knownPid = pid;
  }
  start = knownStart;
  return true;
}

}  // namespace

std::string OwnOwnerRecord(BlockKind kind) {
  const Self& self = This();
  const uint64_t pid = platform::CurrentProcessId();
  uint64_t start = 0;
  if (!IsHostName(self.host) || !IsBootId(self.boot) || !OwnStartTime(pid, start)) return {};
  return std::string("kind=") + (kind == BlockKind::Held ? "held" : "marker") + " host=" + self.host +
         " boot=" + self.boot + " pid=" + std::to_string(pid) + " start=" + std::to_string(start) + "\n";
}

bool ParseOwnerRecord(std::string_view text, BlockOwner& owner) {
  if (text.size() > kMaxOwnerRecord) return false;
  std::string_view kind, host, boot, pid, start;
  if (!NextField(text, "kind", ' ', kind) || !NextField(text, "host", ' ', host) ||
      !NextField(text, "boot", ' ', boot) || !NextField(text, "pid", ' ', pid) ||
      !NextField(text, "start", '\n', start) || !text.empty())
    return false;
  if (kind == "held")
    owner.kind = BlockKind::Held;
  else if (kind == "marker")
    owner.kind = BlockKind::Marker;
  else
    return false;
  if (!IsHostName(host) || !IsBootId(boot)) return false;
  if (!ParseNumber(pid, INT_MAX, owner.pid) || owner.pid == 0) return false;
  if (!ParseNumber(start, UINT64_MAX, owner.start)) return false;
  owner.host = host;
  owner.boot = boot;
  return true;
}

BlockState JudgeOwnerRecord(std::string_view content) {
  BlockOwner owner;
  if (!ParseOwnerRecord(content, owner)) return BlockState::Unknown;
  const Self& self = This();
  const bool sameRun = owner.host == self.host && !self.boot.empty() && owner.boot == self.boot;
  if (owner.kind == BlockKind::Held) {
    // Its lock went with its holder. Only a holder seen running (one that
    // closed before deleting) leaves room for doubt.
    const bool running =
        sameRun && platform::ProcessIsAlive(owner.pid, owner.start) == platform::ProcessLiveness::Alive;
    return running ? BlockState::Unknown : BlockState::Orphan;
  }
  // Another host's processes cannot be seen from here.
  if (owner.host != self.host || self.boot.empty()) return BlockState::Unknown;
  if (owner.boot != self.boot) return BlockState::Orphan;  // written before this machine restarted
  switch (platform::ProcessIsAlive(owner.pid, owner.start)) {
    case platform::ProcessLiveness::Gone:
      return BlockState::Orphan;
    case platform::ProcessLiveness::Alive:
      return BlockState::LiveOwner;
    case platform::ProcessLiveness::Unknown:
      break;
  }
  return BlockState::Unknown;
}

}  // namespace tw
