// Calls the library frame makes into parts of the store that are built on
// top of it (the index cache, folder lists, the remote connection, the
// notification library). Each later part installs its own; the defaults do
// nothing, which is always safe: there is then nothing open to release.
#pragma once

namespace tw {

struct TLSStoreIndex;

struct FrameSeams {
  // Drops the thread's hold on its open index in the shared index cache,
  // with reset (at zero opens the index is released and destroyed).
  void (*releaseThreadIndexWithReset)(TLSStoreIndex& state) = nullptr;
  // Releases the thread's open index directly, without the cache.
  void (*releaseOpenIndex)(TLSStoreIndex& state) = nullptr;
  // Clears the thread's current item.
  void (*clearCurrentItem)(TLSStoreIndex& state) = nullptr;
  // Frees the thread's calendar-file reader.
  void (*freeCalendarReader)(TLSStoreIndex& state) = nullptr;
  // Uninitialises and frees one folder list of a folder-search table.
  void (*destroyFolderList)(void* list) = nullptr;
  // Frees the indexes the process keeps loaded between operations.
  void (*forgetLoadedIndexes)() = nullptr;
  // Closes the remote-administration connection.
  void (*closeRemoteConnection)() = nullptr;
  // Loads and unloads the notification library.
  void (*loadNotificationLibrary)() = nullptr;
  void (*unloadNotificationLibrary)() = nullptr;
};

// The process's seams; later parts fill in their entries before use.
FrameSeams& Seams();

}  // namespace tw
