#include "platform/sleep.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <string>
#include <utility>

#include "platform/files.h"

namespace tw::platform {
namespace {

std::atomic<SleepFunction> g_replacement{nullptr};

// Removals made by other hosts of a shared file system raise no inotify
// event, so a wait never trusts the watch for longer than this.
constexpr uint32_t kSliceMilliseconds = 20;

void RealSleep(uint32_t milliseconds) {
  timespec request{};
  request.tv_sec = static_cast<time_t>(milliseconds / 1000);
  request.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  timespec remaining{};
  while (nanosleep(&request, &remaining) != 0 && errno == EINTR) request = remaining;
}

// Which file a path names: a block released and taken again between two
// looks is another file under the same name.
struct Identity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  timespec changed{};
};

Identity IdentityOf(const std::string& systemPath) {
  struct stat st {};
  if (lstat(systemPath.c_str(), &st) != 0) return {};
  return {true, st.st_dev, st.st_ino, st.st_ctim};
}

bool Gone(const Identity& waitedOn, const std::string& systemPath) {
  const Identity now = IdentityOf(systemPath);
  return !now.exists || now.device != waitedOn.device || now.inode != waitedOn.inode ||
         now.changed.tv_sec != waitedOn.changed.tv_sec || now.changed.tv_nsec != waitedOn.changed.tv_nsec;
}

std::string ParentDirectory(const std::string& systemPath) {
  const size_t slash = systemPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return systemPath.substr(0, slash);
}

// Closes the inotify descriptor on every way out.
class Watch {
 public:
  Watch(const std::string& directory, std::string name) : name_(std::move(name)) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    if (inotify_add_watch(fd_, directory.c_str(), IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF) < 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~Watch() {
    if (fd_ >= 0) close(fd_);
  }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

  // Waits up to `milliseconds` for any event in the directory; without a
  // watch it just sleeps. True when the watched name was deleted or moved
  // away (even if the name is taken again by now).
  bool WaitSlice(uint32_t milliseconds) {
    if (fd_ < 0) {
      RealSleep(milliseconds);
      return false;
    }
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(milliseconds));
    return ready > 0 && Drain();
  }

 private:
  bool Drain() {
    alignas(inotify_event) char buffer[4096];
    bool named = false;
    for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if ((event->mask & IN_DELETE_SELF) != 0 || (event->len > 0 && name_ == event->name)) named = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return named;
  }
  int fd_ = -1;
  std::string name_;
};

}  // namespace

void Sleep(uint32_t milliseconds) {
  if (SleepFunction replacement = g_replacement.load()) {
    replacement(milliseconds);
    return;
  }
  RealSleep(milliseconds);
}

SleepFunction SetSleepFunction(SleepFunction replacement) { return g_replacement.exchange(replacement); }

bool SleepUntilRemoved(const std::string& path, uint32_t milliseconds) {
  const std::string systemPath = ToSystemPath(path);
  const Identity waitedOn = IdentityOf(systemPath);
  if (SleepFunction replacement = g_replacement.load()) {
    replacement(milliseconds);
    return !waitedOn.exists || Gone(waitedOn, systemPath);
  }
  if (!waitedOn.exists) return true;

  const size_t slash = systemPath.find_last_of('/');
  Watch watch(ParentDirectory(systemPath), slash == std::string::npos ? systemPath : systemPath.substr(slash + 1));
  // The file may have gone between the first check and the watch.
  if (Gone(waitedOn, systemPath)) return true;

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const auto now = Clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    const uint32_t slice = left < kSliceMilliseconds ? static_cast<uint32_t>(left) + 1 : kSliceMilliseconds;
    if (watch.WaitSlice(slice) || Gone(waitedOn, systemPath)) return true;
  }
}

}  // namespace tw::platform
