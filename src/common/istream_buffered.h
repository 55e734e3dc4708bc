// Reads delimited chunks from a standard input stream through a buffer of
// its own: the stream parser of the index file pulls the text between '<'
// and '>' with it, one chunk per call.
#pragma once
#include <cstddef>
#include <cstdint>
#include <istream>

namespace tw {

class istream_buffered {
 public:
  // The usual destination: 1023 bytes and the terminator.
  static constexpr size_t kChunkCapacity = 1024;

  // `bufferSize` bytes are read from `source` at a time (at least one).
  istream_buffered(std::istream& source, uint32_t bufferSize);
  virtual ~istream_buffered();
  istream_buffered(const istream_buffered&) = delete;
  istream_buffered& operator=(const istream_buffered&) = delete;

  // Copies bytes into `destination` (kChunkCapacity bytes) up to
  // `delimiter`. At most 1023 bytes are copied; the delimiter is consumed,
  // not copied, when it is found within that limit; the destination is
  // always terminated. Returns the number of bytes copied, or -1 when the
  // stream ended before a delimiter (what was read is still in
  // `destination`).
  int ReadChunk(char* destination, char delimiter);
  // The same for a destination of `capacity` bytes (capacity - 1 copied at
  // most). A zero capacity copies nothing and returns 0.
  int ReadChunk(char* destination, size_t capacity, char delimiter);

 private:
  bool Refill();

  std::istream& source_;
  char* buffer_;
  uint32_t position_ = 0;
  uint32_t bufferSize_;
  uint32_t held_ = 0;
};

}  // namespace tw
