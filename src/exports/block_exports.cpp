// The exported block-file calls.
#include <cstdint>
#include <string>

#include "frame/event_report.h"
#include "index/locking/index_file_blocking.h"
#include "twstore.h"

extern "C" {

uint32_t WaitForAccessToIndexFileEx(const char* blockFilePath, uint32_t holdHandle, uintptr_t* handle) {
  return tw::AtBoundary("WaitForAccessToIndexFileEx", tw::kIndexBlockingModule, __LINE__, 0u, [&] {
    if (blockFilePath == nullptr) return 0u;
    return tw::WaitForAccessToIndexFileEx(blockFilePath, holdHandle, handle);
  });
}

uint32_t UnBlockIndexFileAccessEx(const char* blockFilePath, uint32_t holdHandle, uintptr_t* handle) {
  return tw::AtBoundary("UnBlockIndexFileAccessEx", tw::kIndexBlockingModule, 85, 0u, [&] {
    if (blockFilePath == nullptr) return 0u;
    return tw::UnBlockIndexFileAccessEx(blockFilePath, holdHandle, handle);
  });
}

}  // extern "C"
