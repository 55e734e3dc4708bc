// The exported index-text call.
#include <cstdint>

#include "frame/event_report.h"
#include "index/file/stream_serialiser.h"
#include "index/file/xml_data.h"
#include "twstore.h"

extern "C" {

const char* GetXMLDataEx(const char* text, const char* startTag, const char* endTag, char* buffer,
                         uint32_t bufferSize) {
  return tw::AtBoundary("GetXMLDataEx", tw::kSerialisationSource, __LINE__, static_cast<const char*>(nullptr), [&] {
    const uint32_t after = tw::GetXMLDataEx(text, startTag, endTag, buffer, bufferSize);
    return after == 0 ? static_cast<const char*>(nullptr) : text + after;
  });
}

}  // extern "C"
