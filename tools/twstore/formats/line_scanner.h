// Splits a byte stream into lines without holding a line: only its start
// (a run of '>' counted, then a few bytes) is gathered, so an mbox line of
// any length costs a fixed amount of memory. The run is counted rather than
// kept because mboxrd quoting depends on ">>>...From " of any depth.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::formats {

struct LineHead {
  // Enough to tell "X-Status:" from other header names.
  static constexpr size_t kBytes = 9;
  uint64_t quotes = 0;  // leading '>' characters
  std::string bytes;    // at most kBytes after them, line end included when reached
  bool complete = false;  // the line ends inside `bytes` (or the input ended)

  bool StartsWith(std::string_view prefix) const { return bytes.compare(0, prefix.size(), prefix) == 0; }
  bool IsBlank() const { return quotes == 0 && complete && (bytes == "\n" || bytes == "\r\n"); }
};

class LineClient {
 public:
  virtual ~LineClient() = default;
  // Once per line, before its rest.
  virtual void OnLineHead(const LineHead& head) = 0;
  // The bytes after the head, through the line end; any number of calls.
  virtual void OnLineRest(std::string_view bytes) = 0;
  virtual void OnLineEnd() = 0;
};

class LineScanner {
 public:
  void Feed(std::string_view bytes, LineClient& client);
  // Ends a last line without line end.
  void Finish(LineClient& client);

 private:
  void DeliverHead(LineClient& client);
  LineHead head_;
  bool started_ = false;    // a line is in progress
  bool headDone_ = false;   // its head went to the client
};

}  // namespace tw::formats
