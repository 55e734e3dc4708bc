#include "folders/operations/folder_walk.h"

#include <memory>
#include <string>

#include "folders/operations/folder_record.h"
#include "folders/operations/folder_size.h"
#include "folders/tree/folder_enumeration.h"
#include "folders/tree/folder_list.h"
#include "frame/com_apartment.h"

namespace tw {
namespace {

constexpr uint32_t kMostReported = 0xFFFFFFFFu;
// Deeper trees are not walked further: the path field would overflow long
// before, and a loop of renamed folders must end.
constexpr int kDeepestLevel = 64;

uint32_t Saturated(uint64_t total) { return total > kMostReported ? kMostReported : static_cast<uint32_t>(total); }

struct ListDeleter {
  void operator()(FolderList* list) const { FreeFolderList(list); }
};

void Walk(FolderRecord& record, bool kilobytes, int level) {
  uint64_t total = FolderSize(record, kilobytes);
  std::unique_ptr<FolderList, ListDeleter> list(CreateFolderList());
  if (list != nullptr && level < kDeepestLevel) {
    FolderRecord child = record;
    for (uint32_t more = FindFirstSubFolder(child, list.get(), true); more != 0;
         more = FindNextSubFolder(child, list.get(), true)) {
      FolderRecord sub = record;
      const std::string path = std::string(RecordText(record.path)) + "\\" + std::string(RecordText(child.name));
      if (path.size() >= sizeof sub.path) continue;
      SetRecordText(sub.path, path);
      sub.total = 0;
      Walk(sub, kilobytes, level + 1);
      total += sub.total;
    }
    CloseSubFolderSearch(list.get());
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
