#include "platform/creation_time.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "platform/name_cache.h"
#include "platform/path_mapping.h"
#include "platform/rename_noreplace.h"

namespace tw::platform::detail {

namespace {

constexpr char kAttributeName[] = "user.tarnwick.created";
constexpr size_t kMaxTextLength = 31;

std::atomic<bool> g_useBirthTime{true};
std::atomic<bool> g_useAttribute{true};
std::atomic<uint64_t> g_tempCounter{0};

// A decimal file time, optionally followed by a line end.
bool ParseFileTime(const char* text, size_t length, uint64_t& value) {
  uint64_t v = 0;
  size_t i = 0;
  for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  if (i == 0 || v == 0) return false;
  for (; i < length; ++i)
    if (text[i] != '\n' && text[i] != '\r') return false;
  value = v;
  return true;
}

bool ReadAttribute(const std::string& path, uint64_t& value) {
  char buffer[kMaxTextLength + 1];
  const ssize_t n = ::getxattr(path.c_str(), kAttributeName, buffer, kMaxTextLength);
  return n > 0 && ParseFileTime(buffer, static_cast<size_t>(n), value);
}

// True when the value is stored (by us or, a moment earlier, by another
// process, whose value is then returned).
bool WriteAttribute(const std::string& path, uint64_t stamp, uint64_t& value) {
  const std::string text = std::to_string(stamp);
  if (::setxattr(path.c_str(), kAttributeName, text.data(), text.size(), XATTR_CREATE) == 0) {
    value = stamp;
    return true;
  }
  return errno == EEXIST && ReadAttribute(path, value);
}

bool ReadCreationFile(const std::string& directory, uint64_t& value) {
  const std::string file = JoinPath(directory, kCreationTimeFile);
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  char buffer[kMaxTextLength + 1];
  size_t got = 0;
  while (got < kMaxTextLength) {
    const ssize_t n = ::read(fd, buffer + got, kMaxTextLength - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  return ParseFileTime(buffer, got, value);
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Written under a private name and then put in place without replacing, so
// readers never see a half-written file and the first writer wins.
bool WriteCreationFile(const std::string& directory, uint64_t stamp, uint64_t& value) {
  const std::string finalName = JoinPath(directory, kCreationTimeFile);
  const std::string tempName = finalName + "." + std::to_string(::getpid()) + "." + std::to_string(++g_tempCounter);
  const int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, std::to_string(stamp) + "\n");
  ::close(fd);
  bool stored = false;
  if (written) {
    if (RenameNoReplace(tempName.c_str(), finalName.c_str()) == 0) {
      value = stamp;
      stored = true;
    } else if (errno == EEXIST) {
      stored = ReadCreationFile(directory, value);
      // Unreadable (damaged by hand): put a good one in its place.
      if (!stored && ::rename(tempName.c_str(), finalName.c_str()) == 0) {
        value = stamp;
        stored = true;
      }
    }
  }
  ::unlink(tempName.c_str());
  ForgetDirectory(directory);
  return stored;
}

uint64_t DirectoryCreationTime(const FileStatus& status, const std::string& path) {
  uint64_t value = 0;
  const bool useAttribute = g_useAttribute.load(std::memory_order_relaxed);
  if (useAttribute && ReadAttribute(path, value)) return value;
  if (ReadCreationFile(path, value)) return value;
  const uint64_t written = WriteFileTime(status);
  const uint64_t stamp = written != 0 ? written : CurrentFileTime();
  if (useAttribute && WriteAttribute(path, stamp, value)) return value;
  if (WriteCreationFile(path, stamp, value)) return value;
  // Nowhere to keep it (no permission): the best there is.
  return stamp;
}

}  // namespace

uint64_t CreationTimeOf(const FileStatus& status, const std::string& path) {
  if (status.hasBirthTime && g_useBirthTime.load(std::memory_order_relaxed) &&
      (status.birthTime.tv_sec != 0 || status.birthTime.tv_nsec != 0))
    return FileTimeFromUnix(status.birthTime.tv_sec, static_cast<uint32_t>(status.birthTime.tv_nsec));
  if (!status.IsDirectory()) return WriteFileTime(status);
  return DirectoryCreationTime(status, path);
}

void SetCreationTimeSources(bool useBirthTime, bool useExtendedAttribute) {
  g_useBirthTime = useBirthTime;
  g_useAttribute = useExtendedAttribute;
}

}  // namespace tw::platform::detail
