#include "folders/tree/folder_index_flag.h"

#include <cstring>

#include "common/file_management.h"
#include "folders/tree/folder_index_file.h"
#include "platform/file_handle.h"
#include "platform/files.h"

namespace tw {
namespace {

bool Exists(const std::string& path) { return platform::GetFileAttributes(path) != platform::kInvalidAttributes; }

}  // namespace

bool FolderIndexNeedsRebuild(const std::string& directory) {
  if (!Exists(directory + "\\" + kFolderIndexFile)) return true;
  return Exists(directory + "\\" + kFolderIndexFlagFile);
}

bool MarkFolderIndexOutOfDate(const std::string& directory) {
  platform::FileHandle file = platform::OpenFile(directory + "\\" + kFolderIndexFlagFile, platform::Access::Write,
                                                 platform::Share::All, platform::Disposition::CreateAlways);
  if (!file.IsOpen()) return false;
  file.Write(kFolderIndexFlagText, std::strlen(kFolderIndexFlagText));
  return true;
}

void ClearFolderIndexFlag(const std::string& directory) {
  DeleteTree(directory + "\\" + kFolderIndexFlagFile, 0);
}

}  // namespace tw
