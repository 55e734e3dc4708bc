#include "folders/properties/item_file.h"

#include <cstring>
#include <string_view>

#include "frame/path_safety.h"
#include "frame/store_paths.h"
#include "index/items/property_registry.h"

namespace tw {
namespace {

}  // namespace

std::optional<std::string> ItemFilePath(const IndexItem& item) {
  const IndexItemPropertyContainer* container = item.Container();
  if (container == nullptr || !container->Has(kPropId)) return std::nullopt;
  const std::string id = container->GetText(kPropId);
  // The ID comes from the index, which anyone able to write the folder can
  // edit: one that holds a separator, is "." or "..", carries a NUL or a
  // drive prefix would name a file outside the folder (or the folder).
  if (!IsSafeStoreName(id)) return std::nullopt;

  std::string directory(LocationView(item.folderPath));
  if (directory.empty())
    directory = FolderDirectoryForIndex(std::string(LocationView(item.postoffice)),
                                        std::string(LocationView(item.mailbox)),
                                        std::string(LocationView(item.folderName)));
  if (directory.empty()) return std::nullopt;
  std::string path = directory + "\\" + id;
  // A cut path would name another file.
  if (path.size() >= kPathCapacity) return std::nullopt;
  return path;
}

}  // namespace tw
