// Walks the directory entries matching a pattern ("dir\*", "dir\*.MAI"),
// optionally keeping only entries that carry at least one attribute bit of
// a mask.
#pragma once
#include <cstdint>
#include <string>

#include "platform/files.h"

namespace tw {

struct DirectoriesOnlyTag {};
inline constexpr DirectoriesOnlyTag kDirectoriesOnly{};

class FileIterator {
 public:
  // Every entry passes.
  explicit FileIterator(std::string pattern);
  // Only entries with the directory attribute (mask 16).
  FileIterator(std::string pattern, DirectoriesOnlyTag);
  // Only entries with at least one bit of `attributeMask`.
  FileIterator(std::string pattern, uint32_t attributeMask);
  virtual ~FileIterator();
  FileIterator(const FileIterator&) = delete;
  FileIterator& operator=(const FileIterator&) = delete;

  // Starts the walk again; `name` is the first entry that passes, empty when
  // there is none. True while an entry was found.
  bool First(std::string& name);
  // Moves to the next entry that passes; at the end the search is closed and
  // `name` is empty.
  bool Next(std::string& name);
  // The search is open and the last step found an entry.
  bool Valid() const;

  // The find data of the current entry.
  const platform::FindData& Data() const { return findData_; }
  const std::string& Pattern() const { return pattern_; }

 private:
  bool Passes() const;

  std::string pattern_;
  uint8_t filter_ = 0;
  uint32_t attributeMask_ = 0;
  platform::FindData findData_;
  platform::FindHandle findHandle_;
  int lastResult_ = 0;
};

}  // namespace tw
