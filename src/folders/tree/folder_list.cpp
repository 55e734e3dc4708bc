#include "folders/tree/folder_list.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>

#include "common/file_management.h"
#include "folders/tree/folder_index_file.h"
#include "frame/event_report.h"
#include "frame/path_safety.h"
#include "platform/files.h"

namespace tw {
namespace {

// A record's name field holds 512 bytes with its terminator.
constexpr size_t kLongestListedName = 511;

bool Listable(const std::string& name) {
  return name.size() <= kLongestListedName && IsSafeStoreName(name);
}

void PrintParseError(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const ComError& com) {
    std::string text = "Error:\n";
    char code[32];
    std::snprintf(code, sizeof code, "Code = %08lx\n", static_cast<unsigned long>(com.Code()));
    text += code;
    text += "Code meaning = " + std::string(com.what()) + "\n";
    if (!com.Source().empty()) text += "Source = " + com.Source() + "\n";
    if (!com.Description().empty()) text += "Error Description = " + com.Description() + "\n";
    Print(text);
  } catch (...) {
    Print("General error loading index file\n");
  }
}

}  // namespace

FolderList* CreateFolderList() noexcept { return new (std::nothrow) FolderList(); }

void InitFolderList(FolderList& list) {
  list.cursorEntry = nullptr;
  list.cursor = 0;
  list.cursorRecordKey.clear();
  list.cursorDirectory.clear();
  list.entries = std::make_unique<std::map<std::string, FolderListEntry>>();
}

void UnInitFolderList(FolderList& list) noexcept {
  list.cursorEntry = nullptr;
  list.cursor = 0;
  list.cursorRecordKey.clear();
  list.cursorDirectory.clear();
  list.entries.reset();
}

void FreeFolderList(FolderList* list) noexcept { delete list; }

FolderListEntry* FindFolderEntry(FolderList& list, const std::string& directory) {
  if (!list.entries) return nullptr;
  const auto found = list.entries->find(directory);
  return found == list.entries->end() ? nullptr : &found->second;
}

bool ParseFolderEntry(FolderList& list, const std::string& directory, bool verify) {
  if (!list.entries) InitFolderList(list);
  FolderListEntry& entry = (*list.entries)[directory];
  entry.names.clear();
  try {
    FolderIndexContent content;
    switch (ReadFolderIndex(directory, content)) {
      case FolderIndexRead::Missing:
        return false;
      case FolderIndexRead::Malformed:
        platform::DeleteFile(directory + "\\" + kFolderIndexFile);
        return false;
      case FolderIndexRead::Read:
        break;
    }
    std::vector<std::string> names;
    for (std::string& name : content.names) {
      if (!Listable(name)) continue;
      if (verify && !IsDirectory(directory + "\\" + name)) continue;
      names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    entry.names = std::move(names);
    entry.version = content.stamp;
    entry.stamp = platform::FileTimeToDosDateTime(
        platform::FileTimeFromUnix(content.stamp.writeSeconds, content.stamp.writeNanoseconds));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (...) {
    PrintParseError(std::current_exception());
    return false;
  }
}

}  // namespace tw
