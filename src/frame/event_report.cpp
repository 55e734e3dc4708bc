#include "frame/event_report.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>

#include "common/exception.h"
#include "platform/event_log.h"
#include "platform/last_error.h"

namespace tw {

namespace {
constexpr const char* kEventSourceName = "Tarnwick";
constexpr const char* kComponentName = "Tarnwick Store Provider";
constexpr size_t kFirstTextLimit = 256;

std::atomic<PrintTarget> g_printTarget{PrintTarget::kStandardOutput};

std::string Hex8(uint32_t code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08" PRIx32, code);
  return buf;
}

std::string ComErrorMeaning(uint32_t code) {
  // Facility-win32 results carry a Windows error number in their low word.
  if ((code & 0xFFFF0000u) == 0x80070000u) return platform::ErrorMessage(code & 0xFFFFu);
  switch (code) {
    case 0x80004005u: return "Unspecified error";
    case 0x8007000Eu: return "Not enough memory resources are available to complete this operation.";
    case 0x80070057u: return "The parameter is incorrect.";
    case 0x80004001u: return "Not implemented";
    default: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "Unknown error 0x%0" PRIX32, code);
      return buf;
    }
  }
}
}  // namespace

void ReportStoreEvent(uint16_t eventType, const char* /*source*/, const void* /*unused*/, uint32_t eventId,
                      const std::string& message) {
  const uint32_t lastError = platform::GetLastError();
  try {
    char first[kFirstTextLimit];
    std::snprintf(first, sizeof first, "%s error: %d", kComponentName, static_cast<int>(lastError));
    platform::WriteEvent({eventType, eventId, kEventSourceName, first, message});
  } catch (...) {
    // The event log is best effort: a report must never fail its caller.
  }
  platform::SetLastError(lastError);
}

std::string FormatExceptionReport(const char* function, const char* sourceModule, int line,
                                  std::exception_ptr error) {
  const std::string fn = function ? function : "";
  const std::string where =
      std::string("The exception occurred in : ") + (sourceModule ? sourceModule : "") + ", line " +
      std::to_string(line) + "\n";
  try {
    if (error) std::rethrow_exception(error);
  } catch (const ComError& com) {
    std::string text = fn + " handled a COM error.\n";
    text += "Code = 0x" + Hex8(com.Code()) + "\n";
    text += "Code meaning = " + ComErrorMeaning(com.Code()) + "\n";
    if (!com.Source().empty()) text += "Source = " + com.Source() + "\n";
    if (!com.Description().empty()) text += "Error Description = " + com.Description() + "\n";
    return text;
  } catch (const std::exception& e) {
    return fn + " handled an exception; session will be dropped.\n" + "The exception was: " + e.what() + "\n" +
           where;
  } catch (...) {
  }
  return fn + " raised an exception.\n" + where;
}

void ReportException(const char* function, const char* sourceModule, int line, std::exception_ptr error) {
  const std::string text = FormatExceptionReport(function, sourceModule, line, error);
  ReportStoreEvent(kEventTypeInformation, kEventSourceName, nullptr, kStoreEventId, text);
  Log(text);
}

uint32_t Trace(uint32_t /*level*/, const std::string& /*text*/) { return 1; }

void Log(const std::string& /*text*/) {}

void Print(const std::string& text) {
  FILE* stream = g_printTarget.load(std::memory_order_relaxed) == PrintTarget::kStandardError ? stderr : stdout;
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void SetPrintTarget(PrintTarget target) { g_printTarget.store(target, std::memory_order_relaxed); }

void DebugPrint(const std::string& text) { platform::DebugOutput(text); }

}  // namespace tw
