// Reads a message file as lines of bounded length, the way a fixed line
// buffer would: a line ends after its LF or after `limit` bytes, so a longer
// line comes out as several lines. One 16 KiB read usually covers a whole
// header; lines are views into the reader's buffer, valid until the next
// call. Also reads from text already in memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/file_handle.h"

namespace tw {

// The line buffer of the header readers: 2047 bytes and the terminator.
inline constexpr size_t kHeaderLineLimit = 2047;

class HeaderLineReader {
 public:
  static constexpr size_t kBufferSize = 16384;
  static constexpr uint64_t kUnknownSize = ~0ull;

  // `knownSize`, when a listing gave it, saves the read that finds the end.
  explicit HeaderLineReader(platform::FileHandle& file, uint64_t knownSize = kUnknownSize)
      : file_(&file), data_(buffer_), left_(knownSize) {}
  explicit HeaderLineReader(std::string_view text)
      : data_(text.data()), end_(text.size()), eof_(true), nulSeen_(text.find('\0') != std::string_view::npos) {}
  HeaderLineReader(const HeaderLineReader&) = delete;
  HeaderLineReader& operator=(const HeaderLineReader&) = delete;

  // The next line with its line end, at most `limit` bytes; false at the
  // end of the file (or when the file cannot be read further).
  bool Next(std::string_view& line, size_t limit = kHeaderLineLimit);
  // The bytes read from the file but not handed out yet; Consume drops them.
  std::string_view Pending() const { return {data_ + at_, end_ - at_}; }
  void Consume() { at_ = end_; }
  // Reads the next block of the file into the buffer; false at the end.
  bool Refill();
  // False while no NUL byte has been read: lines need no cutting at one.
  bool MayHoldNul() const { return nulSeen_; }

 private:
  platform::FileHandle* file_ = nullptr;
  const char* data_;
  size_t at_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool nulSeen_ = false;
  uint64_t left_ = kUnknownSize;  // bytes of the file not read yet, when known
  char buffer_[kBufferSize];
};

}  // namespace tw
