// The item interface of the calling thread: open a folder (or one item)
// through the index cache, walk, select, create, change and delete items
// through the thread's current item, and save. Each call acts on the
// thread's TLSStoreIndex; results are those of the exported calls.
#pragma once
#include <cstdint>
#include <string_view>

namespace tw {

inline constexpr int32_t kOpenWithoutLoad = 200;
inline constexpr uint32_t kFolderTypeCalendarFile = 5;

// Null names fail the open.
uint32_t OpenFolder(const char* postoffice, const char* mailbox, const char* folder, uint32_t folderType,
                    int32_t mode);
uint32_t OpenItem(std::string_view postoffice, std::string_view mailbox, std::string_view folder, std::string_view id,
                  uint32_t folderType);
uint32_t CloseFolder();
uint32_t FindClose();
uint32_t SaveFolder();
uint32_t SaveAllFolders();

uint32_t FindFirstItem();
uint32_t FindNextItem();
uint32_t SelectItem(std::string_view id);
// `exact`: byte for byte; otherwise without regard to letter case.
uint32_t SelectItemByField(std::string_view name, std::string_view value, bool exact);
uint32_t CreateItem(std::string_view id);
uint32_t DeleteItem(std::string_view id);
uint32_t CommitItem();
uint32_t SaveItemToStore();

uint32_t GetCurrentItemProperty(std::string_view name, void** value, uint32_t* length);
// A body part of the current item read from its own file ("PR_BODY",
// "PR_BODY_HTML", "PR_BNP_vCalendar"), as text.
uint32_t GetCurrentItemBody(std::string_view partName, void** value, uint32_t* length);
uint32_t SetCurrentItemProperty(std::string_view id, std::string_view name, std::string_view value);

// Releases the calling thread's hold on its open index (the frame's seams).
void InstallItemAccessSeams();

}  // namespace tw
