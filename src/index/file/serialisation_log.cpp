#include "index/file/serialisation_log.h"

#include "common/file_management.h"
#include "frame/event_report.h"
#include "platform/library_loader.h"

namespace tw {

void WriteSerialisationLog(const std::string& text) {
  static const std::string host = FileName(platform::HostExecutablePath());
  ReportStoreEvent(kEventTypeInformation, "Tarnwick", nullptr, kStoreEventId, "[" + host + "] " + text);
}

}  // namespace tw
