#include "index/messages/header_line_reader.h"

#include <cstring>

namespace tw {

bool HeaderLineReader::Refill() {
  if (eof_ || file_ == nullptr) return false;
  const size_t held = end_ - at_;
  if (held > 0 && at_ > 0) std::memmove(buffer_, buffer_ + at_, held);
  at_ = 0;
  end_ = held;
  size_t want = kBufferSize - end_;
  if (left_ < want) want = static_cast<size_t>(left_);
  size_t got = 0;
  if (want == 0 || !file_->Read(buffer_ + end_, want, got) || got < want) eof_ = true;
  if (left_ != kUnknownSize) {
    left_ -= got;
    if (left_ == 0) eof_ = true;
  }
  if (got > 0 && std::memchr(buffer_ + end_, '\0', got) != nullptr) nulSeen_ = true;
  end_ += got;
  return got > 0;
}

bool HeaderLineReader::Next(std::string_view& line, size_t limit) {
  if (limit == 0) limit = 1;
  if (limit > kBufferSize) limit = kBufferSize;
  if (end_ - at_ < limit && !eof_) Refill();
  if (at_ >= end_) return false;
  const size_t span = end_ - at_ < limit ? end_ - at_ : limit;
  const char* start = data_ + at_;
  const void* lf = std::memchr(start, '\n', span);
  const size_t length = lf != nullptr ? static_cast<const char*>(lf) - start + 1 : span;
  line = std::string_view(start, length);
  at_ += length;
  return true;
}

}  // namespace tw
