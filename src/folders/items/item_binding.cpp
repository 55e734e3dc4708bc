#include "folders/items/item_binding.h"

#include "common/text.h"
#include "folders/properties/item_property_access.h"
#include "frame/path_safety.h"
#include "frame/store_paths.h"

namespace tw {
namespace {

bool Empty(const char (&field)[kItemLocationSize]) { return field[0] == '\0'; }

void CopyLocation(char (&to)[kItemLocationSize], const char (&from)[1024]) { CopyText(to, kItemLocationSize, from); }

}  // namespace

bool IsSafeItemId(std::string_view id) { return IsSafeStoreName(id); }

ThreadItems* HeldItems() {
  TLSStoreIndex* state = ExistingThreadStoreIndex();
  ThreadItems* items = state != nullptr ? ExistingItemsOf(*state) : nullptr;
  return items != nullptr && items->entry != nullptr && state->openIndex != nullptr ? items : nullptr;
}

void BindCurrentItem(ThreadItems& items, const STOREINDEXTYPE& record) {
  IndexItem& current = items.current;
  if (Empty(current.postoffice) || Empty(current.mailbox) || Empty(current.folderName)) {
    CopyLocation(current.postoffice, record.postoffice);
    CopyLocation(current.mailbox, record.mailbox);
    CopyLocation(current.folderName, record.folder);
  }
  if (current.kind == kKindUnbound) current.kind = record.folderType;
}

void BindForPropertyRead(ThreadItems& items, const STOREINDEXTYPE& record) {
  IndexItem& current = items.current;
  if (Empty(current.postoffice)) {
    CopyLocation(current.postoffice, record.postoffice);
    CopyLocation(current.mailbox, record.mailbox);
    CopyLocation(current.folderName, record.folder);
    const std::string path = record.folderPath[0] != '\0'
                                 ? std::string(record.folderPath)
                                 : FolderDirectoryForIndex(record.postoffice, record.mailbox, record.folder);
    CopyText(current.folderPath, kItemLocationSize, path);
  }
  if (current.kind == kKindUnbound) current.kind = record.folderType;
}

}  // namespace tw
