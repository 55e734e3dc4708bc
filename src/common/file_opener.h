// Opens a C stdio stream for the life of the object. A failed open other
// than "no such file" costs a one-second pause before the caller sees the
// failure, which spaces out callers that race for a file another process
// holds.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace tw {

class FileOpener {
 public:
  // `mode` is the C runtime's mode text ("r", "w", "rb", ...). A non-zero
  // `exclusive` opens the file with sharing denied: nobody else may open it
  // while this object holds it.
  FileOpener(std::string path, std::string mode, uint32_t exclusive);
  virtual ~FileOpener();
  FileOpener(const FileOpener&) = delete;
  FileOpener& operator=(const FileOpener&) = delete;

  FILE* Stream() const { return stream_; }
  bool IsOpen() const { return stream_ != nullptr; }
  // The error number of the failed open (0 after success).
  int32_t LastError() const { return lastError_; }
  // Closes the stream early; true when it was open and closed cleanly.
  bool Close();

 private:
  std::string mode_;
  std::string path_;
  uint32_t exclusive_;
  int32_t lastError_ = 0;
  FILE* stream_ = nullptr;
};

}  // namespace tw
