#include "frame/thread_state.h"

#include <atomic>
#include <new>

#include "frame/event_report.h"
#include "frame/library_lifecycle.h"
#include "frame/seams.h"
#include "platform/thread_slots.h"

namespace tw {

namespace {
std::atomic<uint32_t> g_legacyFindSlot{platform::kInvalidSlot};
std::atomic<uint32_t> g_storeIndexSlot{platform::kInvalidSlot};
std::atomic<uint32_t> g_folderSearchSlot{platform::kInvalidSlot};
std::atomic<bool> g_threadAffinity{true};

bool EnsureSlot(std::atomic<uint32_t>& slot) {
  if (slot.load() != platform::kInvalidSlot) return true;
  const uint32_t fresh = platform::TlsAlloc();
  if (fresh == platform::kInvalidSlot) return false;
  slot.store(fresh);
  return true;
}

void* SlotValue(const std::atomic<uint32_t>& slot) {
  const uint32_t s = slot.load();
  return s == platform::kInvalidSlot ? nullptr : platform::TlsGetValue(s);
}

void SetSlotValue(const std::atomic<uint32_t>& slot, void* value) {
  const uint32_t s = slot.load();
  if (s != platform::kInvalidSlot) platform::TlsSetValue(s, value);
}
}  // namespace

bool AllocateThreadSlots() {
  if (!EnsureSlot(g_legacyFindSlot) || !EnsureSlot(g_storeIndexSlot) || !EnsureSlot(g_folderSearchSlot)) return false;
  platform::SetThreadDetachHandler(&ThreadDetach);
  return true;
}

void FreeLegacyFindSlot() {
  const uint32_t s = g_legacyFindSlot.exchange(platform::kInvalidSlot);
  if (s != platform::kInvalidSlot) platform::TlsFree(s);
}

void* LegacyFindState() { return SlotValue(g_legacyFindSlot); }

void SetLegacyFindState(void* state) {
  if (state) platform::AnnounceThread();
  SetSlotValue(g_legacyFindSlot, state);
}

bool TLSStoreIndex_Init() {
  if (g_storeIndexSlot.load() == platform::kInvalidSlot) return false;
  auto* state = new (std::nothrow) TLSStoreIndex();
  if (state == nullptr) {
    DebugPrint("TLSStoreIndex_Init::Unable to allocate STOREINDEXTYPE structure\n");
    return false;
  }
  SetSlotValue(g_storeIndexSlot, state);
  platform::AnnounceThread();
  return true;
}

TLSStoreIndex* ExistingThreadStoreIndex() { return static_cast<TLSStoreIndex*>(SlotValue(g_storeIndexSlot)); }

TLSStoreIndex* ThreadStoreIndex() {
  if (TLSStoreIndex* state = ExistingThreadStoreIndex()) return state;
  // A thread that started before the library, or skipped ThreadInit, gets
  // its state here.
  if (!TLSStoreIndex_Init()) return nullptr;
  return ExistingThreadStoreIndex();
}

void DestroyThreadStoreIndex() {
  delete ExistingThreadStoreIndex();
  SetSlotValue(g_storeIndexSlot, nullptr);
}

FolderSearchTable* ThreadFolderSearchTable() {
  if (auto* table = static_cast<FolderSearchTable*>(SlotValue(g_folderSearchSlot))) return table;
  if (g_folderSearchSlot.load() == platform::kInvalidSlot) return nullptr;
  auto* table = new (std::nothrow) FolderSearchTable();
  if (table == nullptr) return nullptr;
  SetSlotValue(g_folderSearchSlot, table);
  platform::AnnounceThread();
  return table;
}

void ReleaseThreadFolderSearchTable() {
  auto* table = static_cast<FolderSearchTable*>(SlotValue(g_folderSearchSlot));
  if (table == nullptr) return;
  for (void* list : table->lists) {
    if (list && Seams().destroyFolderList) Seams().destroyFolderList(list);
  }
  delete table;
  SetSlotValue(g_folderSearchSlot, nullptr);
}

bool ThreadAffinity() { return g_threadAffinity.load(); }
void SetThreadAffinity(bool on) { g_threadAffinity.store(on); }

void ThreadDetach() {
  if (ExistingThreadStoreIndex() != nullptr) {
    if (ThreadAffinity()) {
      StoreLibraryThreadRelease();
    } else {
      // The shared index stays open in the cache for the other threads.
      DestroyThreadStoreIndex();
      ReleaseThreadFolderSearchTable();
    }
  }
  // State is made on first use here, so a thread may own a folder-search
  // table without ever having had item state; do not leak it.
  ReleaseThreadFolderSearchTable();
}

}  // namespace tw
