// Opens as the block and reader tests make them, and the error they met.
#pragma once
#include <string>

#include "platform/file_handle.h"
#include "platform/last_error.h"

namespace tw::test {

inline platform::FileHandle Exclusive(const std::string& path,
                                      platform::Disposition disposition = platform::Disposition::OpenExisting) {
  return platform::OpenFile(path, platform::Access::ReadWrite, platform::Share::None, disposition);
}
inline platform::FileHandle Shared(const std::string& path) {
  return platform::OpenFile(path, platform::Access::Read, platform::Share::All, platform::Disposition::OpenExisting);
}
// The last error of an open that should have failed; 0 when it opened.
inline uint32_t FailureOf(const platform::FileHandle& handle) { return handle.IsOpen() ? 0 : platform::GetLastError(); }

}  // namespace tw::test
