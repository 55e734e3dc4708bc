#include "platform/thread_slots.h"

#include <pthread.h>

#include <atomic>
#include <mutex>
#include <new>
#include <vector>

#include "platform/last_error.h"

// The slots are a table per thread, not one pthread key each: at thread exit
// glibc clears every key's value as it walks the keys, so a detach handler
// run from one key's destructor would find the other slots already emptied
// (those walked before it). With a table of our own the handler sees every
// slot value until it returns.

namespace tw::platform {
namespace {

// As many as Windows offers a process.
constexpr uint32_t kSlotCount = 1088;

struct Cell {
  void* value = nullptr;
  uint32_t generation = 0;  // the slot's generation when the value was set
};

struct ThreadTable {
  std::vector<Cell> cells;
  bool announced = false;
};

// A trivially destructible pointer: still readable while the pthread key
// destructors run (C++ thread_local objects are gone by then).
thread_local ThreadTable* t_table = nullptr;
thread_local bool t_detaching = false;

std::atomic<ThreadDetachHandler> g_detachHandler{nullptr};

// Slot bookkeeping. A slot's generation changes when it is freed, so that a
// slot handed out again reads as empty in every thread, as on Windows.
std::mutex g_slotLock;
bool g_allocated[kSlotCount] = {};
std::atomic<uint32_t> g_generation[kSlotCount] = {};

void OnThreadExit(void* data) {
  auto* table = static_cast<ThreadTable*>(data);
  if (table->announced && !t_detaching) {
    t_detaching = true;
    table->announced = false;
    if (ThreadDetachHandler handler = g_detachHandler.load()) handler();
  }
  if (t_table == table) t_table = nullptr;
  delete table;
}

struct TableKey {
  pthread_key_t key{};
  bool valid = false;
  TableKey() { valid = pthread_key_create(&key, &OnThreadExit) == 0; }
  // Once this code is unloaded, threads that end later must not call into it.
  ~TableKey() {
    if (valid) pthread_key_delete(key);
    valid = false;
  }
};

TableKey& TheTableKey() {
  static TableKey tableKey;
  return tableKey;
}

ThreadTable* TableForWriting() {
  if (t_table != nullptr) return t_table;
  TableKey& tableKey = TheTableKey();
  if (!tableKey.valid) return nullptr;
  auto* table = new (std::nothrow) ThreadTable;
  if (table == nullptr) return nullptr;
  // The key's destructor frees the table when the thread ends.
  if (pthread_setspecific(tableKey.key, table) != 0) {
    delete table;
    return nullptr;
  }
  t_table = table;
  return table;
}

bool IsAllocated(uint32_t slot) {
  if (slot >= kSlotCount) return false;
  std::lock_guard<std::mutex> lock(g_slotLock);
  return g_allocated[slot];
}

}  // namespace

uint32_t TlsAlloc() {
  TheTableKey();
  std::lock_guard<std::mutex> lock(g_slotLock);
  for (uint32_t slot = 0; slot < kSlotCount; ++slot) {
    if (!g_allocated[slot]) {
      g_allocated[slot] = true;
      return slot;
    }
  }
  SetLastError(kErrorNotEnoughMemory);
  return kInvalidSlot;
}

bool TlsFree(uint32_t slot) {
  std::lock_guard<std::mutex> lock(g_slotLock);
  if (slot >= kSlotCount || !g_allocated[slot]) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  g_allocated[slot] = false;
  ++g_generation[slot];
  return true;
}

void* TlsGetValue(uint32_t slot) {
  if (slot >= kSlotCount) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  // A stored null and a failure both return null; the last error tells them
  // apart, as on Windows.
  SetLastError(kErrorSuccess);
  const ThreadTable* table = t_table;
  if (table == nullptr || slot >= table->cells.size()) return nullptr;
  const Cell& cell = table->cells[slot];
  return cell.generation == g_generation[slot].load() ? cell.value : nullptr;
}

bool TlsSetValue(uint32_t slot, void* value) {
  if (!IsAllocated(slot)) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  ThreadTable* table = TableForWriting();
  if (table == nullptr) {
    SetLastError(kErrorNotEnoughMemory);
    return false;
  }
  if (slot >= table->cells.size()) table->cells.resize(slot + 1);
  table->cells[slot] = {value, g_generation[slot].load()};
  return true;
}

ThreadDetachHandler SetThreadDetachHandler(ThreadDetachHandler handler) { return g_detachHandler.exchange(handler); }

void AnnounceThread() {
  if (t_detaching) return;
  if (ThreadTable* table = TableForWriting()) table->announced = true;
}

}  // namespace tw::platform
