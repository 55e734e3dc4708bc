// The process's store of loaded folder indexes. A direct operation takes a
// folder's index out of it under the folder's block, when the index file is
// still the version it was kept with, and puts it back after its save: the
// next operation on the folder then skips the load. An index is out of the
// store while one operation uses it, so no two ever share it.
//
// The store keeps at most "Loaded Index Cache Folders" indexes (default 16;
// 0 turns it off) and drops the least recently used.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "index/items/sorted_store_index.h"
#include "platform/files.h"

namespace tw {

class LoadedIndexStore {
 public:
  static LoadedIndexStore& Process();

  // The index kept for this index file when the file still has `now` as
  // its stamp; null otherwise (a stale index is dropped).
  std::unique_ptr<SORTEDSTOREINDEXTYPE> TakeCurrent(const std::string& indexFile, const platform::FileStamp& now);
  // Keeps a fully loaded index that equals its file as the file is stamped.
  void Keep(const std::string& indexFile, std::unique_ptr<SORTEDSTOREINDEXTYPE> index,
            const platform::FileStamp& stamp);
  // True when an index of this file is worth loading whole to keep: the
  // process has met the file before (a process that meets a folder once
  // gains nothing from keeping it). Notes the meeting.
  bool WorthKeeping(const std::string& indexFile);
  void Clear();

  size_t Capacity() const;
  // 0 turns the store off; the next use reads the registry again after
  // ResetCapacity.
  void SetCapacity(uint32_t folders);
  void ResetCapacity();
  size_t Size();

 private:
  // Under the mutex: WorthKeeping's answer, noting the meeting.
  bool NoteMet(const std::string& indexFile, size_t capacity);

  struct Entry {
    std::string indexFile;
    platform::FileStamp stamp;
    std::unique_ptr<SORTEDSTOREINDEXTYPE> index;
  };

  std::mutex mutex_;
  std::vector<Entry> entries_;
  std::vector<std::string> met_;  // index files met lately, the latest last
};

}  // namespace tw
