// The library's own exception: a message, the source module that raised it
// (written without extension, "common\FileManagement") and the line.
#pragma once
#include <exception>
#include <string>

namespace tw {

class Exception : public std::exception {
 public:
  Exception(std::string message, std::string sourceModule, int line)
      : message_(std::move(message)), sourceModule_(std::move(sourceModule)), line_(line) {}

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }
  const std::string& SourceModule() const { return sourceModule_; }
  int Line() const { return line_; }

 private:
  std::string message_;
  std::string sourceModule_;
  int line_;
};

}  // namespace tw
