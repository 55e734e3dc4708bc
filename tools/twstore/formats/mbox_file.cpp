#include <memory>

#include "formats/mbox_reader.h"
#include "platform/file_handle.h"

namespace tw::formats {

bool ReadMboxFile(std::string_view path, MboxReader& reader) {
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::Read, platform::Share::Read, platform::Disposition::OpenExisting);
  if (!file.IsOpen()) return false;
  constexpr size_t kBufferSize = 256 * 1024;
  const std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  while (true) {
    size_t got = 0;
    if (!file.Read(buffer.get(), kBufferSize, got)) return false;
    reader.Feed(std::string_view(buffer.get(), got));
    if (got < kBufferSize) break;
  }
  reader.Finish();
  return true;
}

}  // namespace tw::formats
