// Collects a long text (a message part read line by line) in chunks of the
// "Message Part Allocation Unit", so the assembled text grows once a unit
// and not once a line.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// "Message Part Allocation Unit" under ...\Providers\Store, read once per
// process: 131072 when missing, 65536 when below 1024.
size_t MessagePartAllocationUnit();
void ResetMessagePartAllocationUnit();

class ChunkBuffer {
 public:
  explicit ChunkBuffer(size_t unit = MessagePartAllocationUnit());

  // Gathers the text in the current chunk while chunk and text stay below
  // the unit; otherwise the chunk is flushed and the text starts the next.
  // A text of a unit or more is flushed at once, as a chunk of its own.
  void Append(std::string_view text);
  // Moves the current chunk behind the assembled text; 1.
  int32_t Flush();

  // The assembled text (what has been flushed).
  std::string_view Text() const { return assembled_; }
  // Its size with the final NUL, 0 before the first flush.
  uint32_t AssembledSize() const;
  size_t ChunkLength() const { return chunk_.size(); }

 private:
  size_t unit_;
  std::string chunk_;
  std::string assembled_;
  bool flushed_ = false;
};

}  // namespace tw
