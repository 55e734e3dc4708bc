#include "common/istream_buffered.h"

#include <cstring>
#include <limits>

namespace tw {

istream_buffered::istream_buffered(std::istream& source, uint32_t bufferSize)
    : source_(source), buffer_(nullptr), bufferSize_(bufferSize == 0 ? 1 : bufferSize) {
  buffer_ = new char[bufferSize_];
}

istream_buffered::~istream_buffered() { delete[] buffer_; }

bool istream_buffered::Refill() {
  position_ = 0;
  held_ = 0;
  if (!source_.good()) return false;
  source_.read(buffer_, bufferSize_);
  const std::streamsize got = source_.gcount();
  held_ = got > 0 ? static_cast<uint32_t>(got) : 0;
  return held_ > 0;
}

int istream_buffered::ReadChunk(char* destination, char delimiter) {
  return ReadChunk(destination, kChunkCapacity, delimiter);
}

int istream_buffered::ReadChunk(char* destination, size_t capacity, char delimiter) {
  if (destination == nullptr || capacity == 0) return 0;
  // The count is returned as an int.
  const size_t maxCapacity = static_cast<size_t>(std::numeric_limits<int>::max());
  const size_t limit = (capacity < maxCapacity ? capacity : maxCapacity) - 1;
  size_t copied = 0;
  while (copied < limit) {
    if (position_ >= held_ && !Refill()) {
      destination[copied] = '\0';
      return -1;
    }
    // Copy up to the delimiter, the limit or the end of what is held.
    const size_t available = held_ - position_;
    const size_t room = limit - copied;
    const size_t span = available < room ? available : room;
    const char* start = buffer_ + position_;
    const void* hit = std::memchr(start, static_cast<unsigned char>(delimiter), span);
    const size_t take = hit ? static_cast<size_t>(static_cast<const char*>(hit) - start) : span;
    std::memcpy(destination + copied, start, take);
    copied += take;
    position_ += static_cast<uint32_t>(take);
    if (hit) {
      ++position_;  // the delimiter is consumed
      break;
    }
  }
  destination[copied] = '\0';
  return static_cast<int>(copied);
}

}  // namespace tw
