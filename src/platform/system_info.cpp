#include "platform/system_info.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <string_view>

namespace tw::platform {
namespace {

// Reads a small /proc file whole; false when it cannot be opened or read,
// or when it is larger than the buffer.
bool ReadSmallFile(const char* path, char* buffer, size_t capacity, size_t& got) {
  got = 0;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = true;
  for (;;) {
    if (got == capacity) {
      ok = false;
      break;
    }
    const ssize_t n = read(fd, buffer + got, capacity - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  return ok;
}

bool ParseDecimal(std::string_view text, uint64_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

struct ProcessStat {
  char state = '?';
  uint64_t startTime = 0;
};

// Field 2 (the command name) is in parentheses and may hold anything,
// blanks and ")" included; the fields after the last ")" are plain.
bool ReadProcessStat(uint64_t pid, ProcessStat& stat) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%llu/stat", static_cast<unsigned long long>(pid));
  char buffer[4096];
  size_t got = 0;
  if (!ReadSmallFile(path, buffer, sizeof buffer, got)) return false;
  const std::string_view text(buffer, got);
  const size_t close = text.rfind(')');
  if (close == std::string_view::npos) return false;
  std::string_view rest = text.substr(close + 1);
  // Fields 3 (state) to 22 (start time) follow, one blank before each.
  for (int field = 3; field <= 22; ++field) {
    if (rest.empty() || rest.front() != ' ') return false;
    rest.remove_prefix(1);
    const size_t end = rest.find_first_of(" \n");
    const std::string_view value = rest.substr(0, end);
    if (field == 3) {
      if (value.size() != 1) return false;
      stat.state = value.front();
    } else if (field == 22 && !ParseDecimal(value, stat.startTime)) {
      return false;
    }
    rest.remove_prefix(value.size());
  }
  return true;
}

// True when a process with this pid exists (also one we may not signal).
bool PidExists(uint64_t pid, bool& known) {
  known = true;
  if (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) return true;
  known = errno == ESRCH;
  return false;
}

}  // namespace

std::string ComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

uint64_t CurrentProcessId() { return static_cast<uint64_t>(getpid()); }

std::string BootId() {
  char buffer[128];
  size_t got = 0;
  if (!ReadSmallFile("/proc/sys/kernel/random/boot_id", buffer, sizeof buffer, got)) return {};
  std::string id(buffer, got);
  while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
  return id;
}

bool ProcessStartTime(uint64_t pid, uint64_t& startTime) {
  if (pid == 0 || pid > static_cast<uint64_t>(INT_MAX)) return false;
  ProcessStat stat;
  if (!ReadProcessStat(pid, stat)) return false;
  startTime = stat.startTime;
  return true;
}

ProcessLiveness ProcessIsAlive(uint64_t pid, uint64_t startTime) {
  // No process ever has these ids; kill() would read 0 and -1 as groups.
  if (pid == 0 || pid > static_cast<uint64_t>(INT_MAX)) return ProcessLiveness::Gone;
  bool known = true;
  if (!PidExists(pid, known)) return known ? ProcessLiveness::Gone : ProcessLiveness::Unknown;
  ProcessStat stat;
  if (!ReadProcessStat(pid, stat)) {
    // Hidden from us (hidepid), or ended just now: only the latter is sure.
    return !PidExists(pid, known) && known ? ProcessLiveness::Gone : ProcessLiveness::Unknown;
  }
  if (stat.startTime != startTime) return ProcessLiveness::Gone;  // the pid was used again
  if (stat.state == 'Z' || stat.state == 'X') return ProcessLiveness::Gone;
  return ProcessLiveness::Alive;
}

}  // namespace tw::platform
