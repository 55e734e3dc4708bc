// The exported folder operations.
#include <cstdint>

#include "folders/operations/folder_dates.h"
#include "frame/event_report.h"
#include "twstore.h"

namespace {

constexpr const char* kFolderSource = "..\\SERVICES\\Library\\LIBStoreFolder";

template <typename Body>
uint32_t WithFolderRecord(const char* name, const FolderRecord* record, int line, Body&& body) {
  if (record == nullptr) return 0;
  return tw::AtBoundary(name, kFolderSource, line, 0u, [&]() -> uint32_t { return body(*record); });
}

}  // namespace

extern "C" {

uint32_t StoreFolder_GetContentsModificationDate(const FolderRecord* record) {
  return WithFolderRecord("StoreFolder_GetContentsModificationDate", record, __LINE__,
                          [](const FolderRecord& r) { return tw::ContentsModificationDate(r); });
}

uint32_t StoreFolder_GetHierarchyModificationDate(const FolderRecord* record) {
  return WithFolderRecord("StoreFolder_GetHierarchyModificationDate", record, __LINE__,
                          [](const FolderRecord& r) { return tw::HierarchyModificationDate(r); });
}

uint32_t StoreGetDeliveredMessageCount(const FolderRecord* record) {
  return WithFolderRecord("StoreGetDeliveredMessageCount", record, __LINE__,
                          [](const FolderRecord& r) { return tw::DeliveredMessageCount(r); });
}

}  // extern "C"
