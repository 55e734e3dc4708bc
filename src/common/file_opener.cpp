#include "common/file_opener.h"

#include <utility>

#include "platform/file_handle.h"
#include "platform/last_error.h"
#include "platform/sleep.h"

namespace tw {

namespace {
constexpr uint32_t kPauseAfterFailedOpenMs = 1000;
}

FileOpener::FileOpener(std::string path, std::string mode, uint32_t exclusive)
    : mode_(std::move(mode)), path_(std::move(path)), exclusive_(exclusive) {
  stream_ = platform::OpenStream(path_, mode_.c_str(), exclusive_ != 0);
  if (stream_ != nullptr) return;
  lastError_ = static_cast<int32_t>(platform::GetLastError());
  // The C runtime reports a missing file and a missing directory alike as
  // "no such file"; neither is worth waiting for.
  if (lastError_ != static_cast<int32_t>(platform::kErrorFileNotFound) &&
      lastError_ != static_cast<int32_t>(platform::kErrorPathNotFound)) {
    platform::Sleep(kPauseAfterFailedOpenMs);
  }
}

FileOpener::~FileOpener() { Close(); }

bool FileOpener::Close() {
  if (stream_ == nullptr) return false;
  const bool ok = std::fclose(stream_) == 0;
  stream_ = nullptr;
  return ok;
}

}  // namespace tw
