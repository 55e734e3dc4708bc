#include "common/file_iterator.h"

#include <utility>

namespace tw {

FileIterator::FileIterator(std::string pattern) : pattern_(std::move(pattern)) {}

FileIterator::FileIterator(std::string pattern, DirectoriesOnlyTag)
    : pattern_(std::move(pattern)), filter_(1), attributeMask_(platform::kAttrDirectory) {}

FileIterator::FileIterator(std::string pattern, uint32_t attributeMask)
    : pattern_(std::move(pattern)), filter_(1), attributeMask_(attributeMask) {}

FileIterator::~FileIterator() { findHandle_.Close(); }

bool FileIterator::Passes() const { return filter_ == 0 || (findData_.attributes & attributeMask_) != 0; }

bool FileIterator::First(std::string& name) {
  findHandle_.Close();
  findData_ = platform::FindData();
  lastResult_ = findHandle_.First(pattern_, findData_) ? 1 : 0;
  if (lastResult_ == 0) {
    findHandle_.Close();
    name.clear();
    return false;
  }
  if (!Passes()) return Next(name);
  name = findData_.name;
  return true;
}

bool FileIterator::Next(std::string& name) {
  name.clear();
  if (!findHandle_.IsOpen()) {
    lastResult_ = 0;
    return false;
  }
  do {
    lastResult_ = findHandle_.Next(findData_) ? 1 : 0;
  } while (lastResult_ != 0 && !Passes());
  if (lastResult_ == 0) {
    findHandle_.Close();
    return false;
  }
  name = findData_.name;
  return true;
}

bool FileIterator::Valid() const { return findHandle_.IsOpen() && lastResult_ != 0; }

}  // namespace tw
