// Files holding secrets: read only when no one but the owner and group can
// read them, written so that no one else ever can.
#pragma once
#include <string>

namespace tw::platform {

enum class PrivateFileRead {
  kRead,
  kMissing,
  kReadableByOthers,  // refused: the secrets in it are no longer secret
  kFailed,
};

// The whole file into `text` (at most `maxBytes`; larger is kFailed).
PrivateFileRead ReadPrivateFile(const std::string& path, std::string& text, size_t maxBytes);

// Replaces the file with `text`, mode 0600, through a temporary file beside
// it and a rename, so a reader sees the old or the new file whole.
bool WritePrivateFile(const std::string& path, const std::string& text);

}  // namespace tw::platform
