#include "folders/operations/folder_walk.h"

#include <string>

#include "folders/operations/folder_record.h"
#include "folders/operations/folder_size.h"
#include "folders/tree/sub_folder_paths.h"
#include "frame/com_apartment.h"

namespace tw {
namespace {

constexpr uint32_t kMostReported = 0xFFFFFFFFu;

uint32_t Saturated(uint64_t total) { return total > kMostReported ? kMostReported : static_cast<uint32_t>(total); }

void Walk(FolderRecord& record, bool kilobytes, int level) {
  uint64_t total = FolderSize(record, kilobytes);
  if (level < kDeepestFolderLevel) {
    for (const std::string& path : SubFolderPaths(record)) {
      FolderRecord sub = record;
      SetRecordText(sub.path, path);
      sub.total = 0;
      Walk(sub, kilobytes, level + 1);
      total += sub.total;
    }
  }
  record.total = Saturated(total);
}

}  // namespace

uint32_t SizeFolderTree(FolderRecord& record, bool kilobytes) {
  record.total = 0;
  ComScope com;
  Walk(record, kilobytes, 0);
  return 1;
}

}  // namespace tw
