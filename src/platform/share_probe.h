// The check made before a file is deleted or moved: a handle opened without
// sharing holds an exclusive flock() for its life (file_handle.h), so a
// shared, non-blocking flock() on the same file tells whether a live holder
// has it. The probe keeps its lock until it is destroyed, so nobody can take
// the file exclusively between the check and the unlink or rename.
// Internal to src/platform/.
#pragma once
#include <string>

#include "platform/file_status.h"

namespace tw::platform::detail {

enum class ProbeOutcome {
  Ready,    // free (locked by the probe, or nothing that could be locked)
  Busy,     // a live holder has it without sharing
  Missing,  // no such entry (errno ENOENT or ENOTDIR)
  Failed,   // errno says why
};

// The deny-write marker of read-sharing holders (file_handle.h).
// Sets it on `fd` (false with errno when the file system refuses)...
bool SetDenyWriteMarker(int fd, bool readable);
// ...and tells whether some other open file holds it on the file.
bool HasDenyWriteMarker(int fd);

class ShareProbe {
 public:
  ShareProbe() = default;
  ~ShareProbe();
  ShareProbe(const ShareProbe&) = delete;
  ShareProbe& operator=(const ShareProbe&) = delete;

  // Opens `path` (a final symbolic link is not followed) and takes the
  // shared lock; checks that the name still refers to the locked file.
  ProbeOutcome Acquire(const std::string& path);
  // Valid after Ready when a file was opened.
  bool Opened() const { return fd_ >= 0; }
  const FileStatus& Status() const { return status_; }

 private:
  void Release();
  int fd_ = -1;
  FileStatus status_;
};

}  // namespace tw::platform::detail
