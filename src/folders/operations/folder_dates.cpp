#include "folders/operations/folder_dates.h"

#include <optional>
#include <string>

#include "folders/operations/folder_place.h"
#include "folders/operations/folder_record.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "platform/files.h"

namespace tw {
namespace {

// The packed last write of a file of the folder; 0 when it is missing.
uint32_t PackedWriteTime(const std::string& directory, const char* name) {
  platform::FileInfo info;
  if (!platform::GetFileInfo(directory + "\\" + name, info)) return 0;
  return platform::FileTimeToDosDateTime(info.lastWriteTime);
}

}  // namespace

uint32_t ContentsModificationDate(const FolderRecord& record) {
  const std::optional<std::string> directory = RecordDirectory(record);
  if (!directory) return 0;
  if (PackedWriteTime(*directory, "_CHANGE.DTY") != 0) return 0;
  return PackedWriteTime(*directory, "_index.xml");
}

uint32_t HierarchyModificationDate(const FolderRecord& record) {
  const std::optional<std::string> directory = RecordDirectory(record);
  return directory ? PackedWriteTime(*directory, "_folder.xml") : 0;
}

uint32_t DeliveredMessageCount(const FolderRecord& record) {
  const std::optional<std::string> root = MailboxRoot(record);
  return root ? TakeDeliveryCounters(*root) : 0;
}

}  // namespace tw
