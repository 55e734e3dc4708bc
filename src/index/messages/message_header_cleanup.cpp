#include "index/messages/message_header_cleanup.h"

#include "common/text.h"
#include "frame/event_report.h"
#include "index/messages/header_line_reader.h"
#include "index/file/store_index_serialiser.h"
#include "platform/file_handle.h"
#include "platform/files.h"

namespace tw {
namespace {

using platform::FileHandle;

bool IsBrandingLine(std::string_view line) {
  return StartsWithNoCase(line, "X-UID: ") || StartsWithNoCase(line, "X-TWTempFlags: ");
}

// Copies header lines (leaving out branding lines), then everything after
// the header unchanged. Counts the lines left out; false on a write error.
bool CopyWithoutBranding(HeaderLineReader& reader, FileHandle& target, int& removed) {
  std::string_view line;
  bool inHeader = true;
  while (inHeader && reader.Next(line)) {
    if (line[0] == '\r' || line[0] == '\n') {
      inHeader = false;
    } else if (IsBrandingLine(line)) {
      ++removed;
      continue;
    }
    if (!target.Write(line.data(), line.size())) return false;
  }
  do {
    const std::string_view rest = reader.Pending();
    if (!rest.empty() && !target.Write(rest.data(), rest.size())) return false;
    reader.Consume();
  } while (reader.Refill());
  return true;
}

}  // namespace

bool RemoveBrandingHeaders(const std::string& folderPath, const std::string& fileName) {
  const std::string source = InFolder(folderPath, fileName);
  const std::string temporary = InFolder(folderPath, "_" + fileName);
  FileHandle input = platform::OpenFile(source, platform::Access::Read, platform::Share::All,
                                        platform::Disposition::OpenExisting);
  if (!input.IsOpen()) {
    Print("Could not open message file for input\r\n");
    return false;
  }
  FileHandle output = platform::OpenFile(temporary, platform::Access::Write, platform::Share::All,
                                         platform::Disposition::CreateAlways);
  if (!output.IsOpen()) {
    Print("Could not open message file for writing\r\n");
    return false;
  }
  int removed = 0;
  bool copied = false;
  {
    HeaderLineReader reader(input);
    copied = CopyWithoutBranding(reader, output, removed);
  }
  input.Close();
  output.Close();
  // A copy that failed or changed nothing is dropped; the message stays.
  if (!copied || removed == 0) {
    platform::DeleteFile(temporary);
    return false;
  }
  // One rename over the message: it is never missing, not even briefly.
  if (platform::ReplaceFile(temporary, source)) return true;
  platform::DeleteFile(temporary);
  return false;
}

}  // namespace tw
