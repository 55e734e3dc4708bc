#include "frame/library_lifecycle.h"

#include <memory>
#include <mutex>
#include <vector>

#include "frame/event_report.h"
#include "frame/providers.h"
#include "frame/seams.h"
#include "frame/settings.h"
#include "frame/thread_state.h"
#include "platform/mutex.h"

namespace tw {

namespace {
std::mutex g_lockCreation;
std::unique_ptr<platform::RecursiveMutex> g_indexOpenLock;
std::unique_ptr<platform::RecursiveMutex> g_indexCacheLock;
// A closed IndexOpenLock is kept, not destroyed: another thread may still be
// inside it when the host shuts the library down. The list itself is never
// destroyed either, since process detach may run after static destructors.
auto& g_closedLocks = *new std::vector<std::unique_ptr<platform::RecursiveMutex>>();

void CreateIfAbsent(std::unique_ptr<platform::RecursiveMutex>& lock) {
  if (!lock) lock.reset(new (std::nothrow) platform::RecursiveMutex());
}
}  // namespace

bool ProcessAttach() {
  // A provider that does not load leaves its handle empty; the option reads
  // then fall back as their callers say.
  EnsureOptionProvider();
  if (!LoadPostofficeConfigProvider()) Print("Unable to Load Postoffice Configuration Provider\n");
  return StoreLibraryInit() != 0;
}

void ProcessDetach() {
  StoreLibraryUnInit();
  UnloadProviders();
}

uint32_t StoreLibraryInit() {
  SetSettings(ReadStoreSettings());
  if (Seams().loadNotificationLibrary) Seams().loadNotificationLibrary();
  if (!AllocateThreadSlots()) return 0;
  std::lock_guard<std::mutex> guard(g_lockCreation);
  CreateIfAbsent(g_indexOpenLock);
  CreateIfAbsent(g_indexCacheLock);
  return 1;
}

uint32_t StoreLibraryUnInit() {
  if (TLSStoreIndex* state = ExistingThreadStoreIndex()) {
    if (Seams().clearCurrentItem) Seams().clearCurrentItem(*state);
    if (Seams().releaseOpenIndex) Seams().releaseOpenIndex(*state);
  }
  FreeLegacyFindSlot();
  if (Seams().forgetLoadedIndexes) Seams().forgetLoadedIndexes();
  if (Seams().closeRemoteConnection) Seams().closeRemoteConnection();
  {
    std::lock_guard<std::mutex> guard(g_lockCreation);
    if (g_indexOpenLock) g_closedLocks.push_back(std::move(g_indexOpenLock));
  }
  if (Seams().unloadNotificationLibrary) Seams().unloadNotificationLibrary();
  return 1;
}

uint32_t StoreLibraryThreadRelease() {
  if (TLSStoreIndex* state = ExistingThreadStoreIndex(); state && ThreadAffinity()) {
    if (Seams().releaseThreadIndexWithReset) Seams().releaseThreadIndexWithReset(*state);
    if (Seams().freeCalendarReader) Seams().freeCalendarReader(*state);
    DestroyThreadStoreIndex();
  }
  ReleaseThreadFolderSearchTable();
  return 1;
}

uint32_t StoreLibrarySetAffinity(uint32_t mode) {
  SetThreadAffinity(mode == 1);
  return 1;
}

platform::RecursiveMutex* IndexOpenLock() {
  std::lock_guard<std::mutex> guard(g_lockCreation);
  return g_indexOpenLock.get();
}

platform::RecursiveMutex* IndexCacheLock() {
  std::lock_guard<std::mutex> guard(g_lockCreation);
  return g_indexCacheLock.get();
}

platform::RecursiveMutex* EnsureIndexOpenLock() {
  std::lock_guard<std::mutex> guard(g_lockCreation);
  CreateIfAbsent(g_indexOpenLock);
  return g_indexOpenLock.get();
}

platform::RecursiveMutex* EnsureIndexCacheLock() {
  std::lock_guard<std::mutex> guard(g_lockCreation);
  CreateIfAbsent(g_indexCacheLock);
  return g_indexCacheLock.get();
}

}  // namespace tw
