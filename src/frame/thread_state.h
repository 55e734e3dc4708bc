// Per-thread state: the legacy find pointer, the item-access state
// (TLSStoreIndex) and the folder-search table, each in its own slot.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct STOREINDEXTYPE;

namespace tw {

// What the item calls keep for a thread beyond the names below (its current
// item and cursor); they make it on first use.
struct ThreadItemState {
  virtual ~ThreadItemState() = default;
};

struct TLSStoreIndex {
  std::string postoffice;  // identity of the folder last opened (1023 characters at most each)
  std::string mailbox;
  std::string folder;
  std::string cacheKey;  // empty when the thread holds no cached index
  STOREINDEXTYPE* openIndex = nullptr;
  void* calendarReader = nullptr;
  std::unique_ptr<ThreadItemState> items;
};

// The thread's own folder lists, used when a folder enumeration is given no
// list of its own.
struct FolderSearchTable {
  std::vector<void*> lists;
};

// Allocates the three slots; false when one cannot be had. Slots that exist
// already are kept, so threads keep their state across a second start-up.
bool AllocateThreadSlots();
// Frees the legacy find slot (shut-down).
void FreeLegacyFindSlot();

// The legacy find pointer of the calling thread.
void* LegacyFindState();
void SetLegacyFindState(void* state);

// The calling thread's TLSStoreIndex, created on first use; nullptr when it
// cannot be created (then "TLSStoreIndex_Init::Unable to allocate
// STOREINDEXTYPE structure\n" has gone to the debugger output).
TLSStoreIndex* ThreadStoreIndex();
// The calling thread's TLSStoreIndex if it has one; never creates.
TLSStoreIndex* ExistingThreadStoreIndex();
bool TLSStoreIndex_Init();
// Destroys the thread's TLSStoreIndex without releasing what it holds.
void DestroyThreadStoreIndex();

// The calling thread's folder-search table, created on first use.
FolderSearchTable* ThreadFolderSearchTable();
// Uninitialises and frees every list of the thread's table, then the table.
void ReleaseThreadFolderSearchTable();

// Thread affinity mode: on at load.
bool ThreadAffinity();
void SetThreadAffinity(bool on);

// What happens when a thread that used the library ends.
void ThreadDetach();

}  // namespace tw
