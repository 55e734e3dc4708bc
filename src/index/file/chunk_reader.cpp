#include "index/file/chunk_reader.h"

#include <algorithm>
#include <cstring>

namespace tw {

ChunkReader::ChunkReader(platform::FileHandle& file, size_t bufferSize) : file_(file), buffer_(bufferSize) {}

bool ChunkReader::Refill() {
  base_ += static_cast<int64_t>(end_);
  begin_ = end_ = 0;
  size_t got = 0;
  if (!file_.Read(buffer_.data(), buffer_.size(), got)) {
    failed_ = true;
    return false;
  }
  end_ = got;
  return got > 0;
}

bool ChunkReader::ReadMore() {
  const size_t left = end_ - begin_;
  if (left == buffer_.size()) return false;
  std::memmove(buffer_.data(), buffer_.data() + begin_, left);
  base_ += static_cast<int64_t>(begin_);
  begin_ = 0;
  end_ = left;
  size_t got = 0;
  if (!file_.Read(buffer_.data() + left, buffer_.size() - left, got)) {
    failed_ = true;
    return false;
  }
  end_ += got;
  return got > 0;
}

bool ChunkReader::Until(char delimiter, size_t keep, std::string_view& out) {
  spill_.clear();
  for (;;) {
    const char* from = buffer_.data() + begin_;
    const auto* found = static_cast<const char*>(std::memchr(from, delimiter, end_ - begin_));
    const size_t length = found != nullptr ? static_cast<size_t>(found - from) : end_ - begin_;
    if (found != nullptr && spill_.empty()) {
      out = std::string_view(from, std::min(length, keep));
      begin_ += length;
      return true;
    }
    spill_.append(from, std::min(length, keep - std::min(keep, spill_.size())));
    begin_ += length;
    if (found != nullptr) {
      out = spill_;
      return true;
    }
    if (!Refill()) {
      out = spill_;
      return false;
    }
  }
}

bool ChunkReader::TextUntilTag(size_t keep, std::string_view& text) {
  if (begin_ == end_ && !Refill()) {
    text = {};
    return false;
  }
  return Until('<', keep, text);
}

bool ChunkReader::Tag(size_t keep, std::string_view& tag, int64_t& start, int64_t& end) {
  if (begin_ == end_ && !Refill()) return false;
  start = base_ + static_cast<int64_t>(begin_);
  ++begin_;  // the '<'
  if (begin_ == end_ && !Refill()) return false;
  if (!Until('>', keep, tag)) return false;
  ++begin_;  // the '>'
  end = base_ + static_cast<int64_t>(begin_);
  return true;
}

}  // namespace tw
