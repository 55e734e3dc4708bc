// Where the library's diagnostics go: the event log (ReportStoreEvent), the
// exception report, the trace and log hooks (which discard), standard output
// ("print") and the debugger output.
#pragma once
#include <cstdint>
#include <exception>
#include <string>

namespace tw {

inline constexpr uint32_t kStoreEventId = 0x40000001;
inline constexpr uint16_t kEventTypeError = 1;
inline constexpr uint16_t kEventTypeInformation = 4;

// Writes one event-log entry: the first text is "Tarnwick Store Provider
// error: <last error>", the second the message. `source` and `unused` are
// accepted for the callers' sake; the source name is always "Tarnwick".
// Never fails its caller.
void ReportStoreEvent(uint16_t eventType, const char* source, const void* unused, uint32_t eventId,
                      const std::string& message);

// An error of the XML document model, reported with its code, source and
// description.
class ComError : public std::exception {
 public:
  ComError(uint32_t code, std::string source, std::string description)
      : code_(code), source_(std::move(source)), description_(std::move(description)) {}
  const char* what() const noexcept override { return description_.c_str(); }
  uint32_t Code() const { return code_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }

 private:
  uint32_t code_;
  std::string source_;
  std::string description_;
};

// The text of the exception report for `error` caught in `function`, whose
// source module (without extension) and line are given.
std::string FormatExceptionReport(const char* function, const char* sourceModule, int line,
                                  std::exception_ptr error);

// Writes the exception report for `error` to the event log (type 4) and the
// log hook. The caller rethrows or returns its failure result.
void ReportException(const char* function, const char* sourceModule, int line, std::exception_ptr error);

// The two diagnostic hooks: they accept the text and discard it.
uint32_t Trace(uint32_t level, const std::string& text);
void Log(const std::string& text);
// The texts the library prints: to standard output unless the program
// chose standard error with SetPrintTarget.
void Print(const std::string& text);

enum class PrintTarget { kStandardOutput, kStandardError };
// Services keep standard output; a tool whose standard output carries its
// own results sends the library's prints to standard error instead.
void SetPrintTarget(PrintTarget target);
// The debugger output.
void DebugPrint(const std::string& text);

// Runs `body` at an exported boundary: any exception is reported as
// `function` in `sourceModule` and turned into `failure`, since a C caller
// cannot catch.
template <typename Result, typename Body>
Result AtBoundary(const char* function, const char* sourceModule, int line, Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    try {
      ReportException(function, sourceModule, line, std::current_exception());
    } catch (...) {
    }
    return failure;
  }
}

}  // namespace tw
