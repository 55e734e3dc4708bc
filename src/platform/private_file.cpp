#include "platform/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tw::platform {

PrivateFileRead ReadPrivateFile(const std::string& path, std::string& text, size_t maxBytes) {
  text.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return errno == ENOENT ? PrivateFileRead::kMissing : PrivateFileRead::kFailed;
  struct stat info {};
  PrivateFileRead outcome = PrivateFileRead::kRead;
  // Looked at on the file opened, so it cannot be swapped in between.
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    outcome = PrivateFileRead::kFailed;
  } else if ((info.st_mode & (S_IROTH | S_IWOTH)) != 0) {
    outcome = PrivateFileRead::kReadableByOthers;
  } else if (static_cast<uint64_t>(info.st_size) > maxBytes) {
    outcome = PrivateFileRead::kFailed;
  } else {
    std::vector<char> buffer(4096);
    for (;;) {
      const ssize_t n = read(fd, buffer.data(), buffer.size());
      if (n == 0) break;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || text.size() + static_cast<size_t>(n) > maxBytes) {
        outcome = PrivateFileRead::kFailed;
        break;
      }
      text.append(buffer.data(), static_cast<size_t>(n));
    }
  }
  close(fd);
  if (outcome != PrivateFileRead::kRead) text.clear();
  return outcome;
}

bool WritePrivateFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".new";
  unlink(temporary.c_str());
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0600) == 0;
  size_t written = 0;
  while (ok && written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else written += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

}  // namespace tw::platform
