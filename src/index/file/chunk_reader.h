// Reads a file through one reused buffer and hands out the text between
// tags and the tags themselves, with their byte offsets. A text or tag that
// crosses a buffer boundary is gathered in a side string; only as many of
// its bytes are kept as the caller asks for, the rest are skipped.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_handle.h"

namespace tw {

class ChunkReader {
 public:
  static constexpr size_t kBufferSize = 256 * 1024;

  explicit ChunkReader(platform::FileHandle& file, size_t bufferSize = kBufferSize);

  // The text up to the next '<' (not consumed), at most `keep` bytes of it.
  // False when the file ends first (`text` then holds what was kept).
  bool TextUntilTag(size_t keep, std::string_view& text);
  // At a '<': the tag between '<' and '>' (at most `keep` bytes of it), the
  // offset of its '<' and the offset just after its '>'. False when the
  // file ends before the '>'.
  bool Tag(size_t keep, std::string_view& tag, int64_t& start, int64_t& end);

  // The bytes read but not yet handed out, and the file offset of the first.
  std::string_view Window() const { return {buffer_.data() + begin_, end_ - begin_}; }
  int64_t Offset() const { return base_ + static_cast<int64_t>(begin_); }
  // Hands out `n` bytes of the window without a copy.
  void Advance(size_t n) { begin_ += n; }
  // Moves the window to the front of the buffer and reads on behind it.
  // False when nothing more came (the end of the file, a failed read, or a
  // full buffer); earlier views of the window dangle afterwards.
  bool ReadMore();

  bool ReadFailed() const { return failed_; }

 private:
  bool Refill();
  // Scans for `delimiter`; the bytes before it become `out`.
  bool Until(char delimiter, size_t keep, std::string_view& out);

  platform::FileHandle& file_;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  int64_t base_ = 0;  // file offset of buffer_[0]
  std::string spill_;
  bool failed_ = false;
};

}  // namespace tw
