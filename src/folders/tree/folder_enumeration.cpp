#include "folders/tree/folder_enumeration.h"

#include <algorithm>
#include <cstring>

#include "folders/operations/folder_place.h"
#include "folders/operations/folder_record.h"
#include "folders/tree/folder_index_file.h"
#include "folders/tree/folder_index_flag.h"
#include "folders/tree/folder_index_rebuild.h"
#include "folders/tree/folder_list.h"
#include "frame/path_safety.h"
#include "frame/seams.h"
#include "frame/store_paths.h"
#include "frame/thread_state.h"
#include "platform/files.h"

namespace tw {
namespace {

bool IsTopLevel(const FolderRecord& record) {
  return (record.path[0] == '\\' || record.path[0] == '/') && record.path[1] == '\0';
}

void CopyName(FolderRecord& record, const std::string& name) {
  const size_t length = std::min(name.size(), sizeof record.name - 1);
  std::memcpy(record.name, name.data(), length);
  record.name[length] = '\0';
}

uint32_t NameAtCursor(FolderRecord& record, const FolderList& list) {
  if (list.cursorEntry == nullptr || list.cursor >= list.cursorEntry->names.size()) return 0;
  CopyName(record, list.cursorEntry->names[list.cursor]);
  return 1;
}

// The entry's file has changed since it was parsed (or is gone).
bool IsStale(const FolderListEntry& entry, const std::string& directory) {
  platform::FileStamp now;
  if (!platform::GetFileStamp(directory + "\\" + kFolderIndexFile, now)) return true;
  return !(now == entry.version);
}

void DestroyFolderList(void* list) {
  auto* folderList = static_cast<FolderList*>(list);
  UnInitFolderList(*folderList);
  FreeFolderList(folderList);
}

__attribute__((constructor(101))) void InstallAtLoad() { Seams().destroyFolderList = &DestroyFolderList; }

}  // namespace

FolderList* ThreadFolderList() {
  FolderSearchTable* table = ThreadFolderSearchTable();
  if (table == nullptr) return nullptr;
  if (!table->lists.empty()) return static_cast<FolderList*>(table->lists.front());
  FolderList* list = CreateFolderList();
  if (list == nullptr) return nullptr;
  InitFolderList(*list);
  table->lists.push_back(list);
  return list;
}

std::string ListedDirectory(const FolderRecord& record) {
  FolderRecord folder = record;  // the name field only receives names here
  folder.name[0] = '\0';
  return RecordDirectory(folder).value_or(std::string());
}

namespace {

// The record texts a search depends on, each cut at its field's end.
std::string RecordKey(const FolderRecord& record) {
  std::string key(RecordText(record.mailbox));
  key += '\0';
  key += RecordText(record.postoffice);
  key += '\0';
  key += RecordText(record.path);
  return key;
}

}  // namespace

uint32_t FindFirstSubFolder(FolderRecord& record, FolderList* list, bool verify) {
  const std::string directory = ListedDirectory(record);
  if (directory.empty()) return 0;
  if (list == nullptr) list = ThreadFolderList();
  if (list == nullptr) return 0;
  list->cursorEntry = nullptr;
  list->cursor = 0;

  bool current = true;
  if (FolderIndexNeedsRebuild(directory)) {
    current = RebuildFolderIndex(directory, IsTopLevel(record)) == 1 && ParseFolderEntry(*list, directory, verify);
  } else {
    const FolderListEntry* entry = FindFolderEntry(*list, directory);
    if (entry == nullptr || IsStale(*entry, directory)) current = ParseFolderEntry(*list, directory, verify);
  }
  if (!current) return 0;
  list->cursorEntry = FindFolderEntry(*list, directory);
  list->cursorRecordKey = RecordKey(record);
  list->cursorDirectory = directory;
  return NameAtCursor(record, *list);
}

uint32_t FindNextSubFolder(FolderRecord& record, FolderList* list, bool verify) {
  if (list == nullptr) list = ThreadFolderList();
  if (list == nullptr) return 0;
  // The next name of the search under way: its directory is known.
  std::string key = RecordKey(record);
  std::string directory;
  if (list->cursorEntry != nullptr && key == list->cursorRecordKey) {
    directory = list->cursorDirectory;
  } else {
    directory = ListedDirectory(record);
    if (directory.empty()) return 0;
    list->cursorRecordKey = std::move(key);
    list->cursorDirectory = directory;
  }
  FolderListEntry* entry = FindFolderEntry(*list, directory);
  if (entry == nullptr) {
    if (!ParseFolderEntry(*list, directory, verify)) return 0;
    entry = FindFolderEntry(*list, directory);
  }
  // A search of another folder, or none yet: this one starts at its top.
  if (list->cursorEntry != entry) {
    list->cursorEntry = entry;
    list->cursor = 0;
  } else {
    ++list->cursor;
  }
  return NameAtCursor(record, *list);
}

uint32_t CloseSubFolderSearch(FolderList* list) {
  if (list != nullptr) {
    UnInitFolderList(*list);
    return 1;
  }
  FolderSearchTable* table = ThreadFolderSearchTable();
  if (table != nullptr && !table->lists.empty()) InitFolderList(*static_cast<FolderList*>(table->lists.front()));
  return 1;
}

}  // namespace tw
