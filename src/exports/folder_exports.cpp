// The exported folder operations.
#include <cstdint>

#include <span>

#include "folders/operations/folder_add.h"
#include "folders/operations/folder_dates.h"
#include "folders/operations/folder_move_copy.h"
#include "folders/operations/folder_remove.h"
#include "folders/operations/folder_walk.h"
#include "folders/tree/folder_enumeration.h"
#include "services/remote_forward.h"
#include "frame/event_report.h"
#include "twstore.h"

namespace {

constexpr const char* kFolderSource = "..\\SERVICES\\Library\\LIBStoreFolder";

template <typename Body>
uint32_t WithFolderRecord(const char* name, const FolderRecord* record, int line, Body&& body) {
  if (record == nullptr) return 0;
  return tw::AtBoundary(name, kFolderSource, line, 0u, [&]() -> uint32_t { return body(*record); });
}

template <typename Body>
uint32_t WithWritableRecord(const char* name, FolderRecord* record, int line, Body&& body) {
  if (record == nullptr) return 0;
  return tw::AtBoundary(name, kFolderSource, line, 0u, [&]() -> uint32_t { return body(*record); });
}

// A forwarded call runs on the remote host when one is in force; the record
// comes back filled.
template <typename Local>
uint32_t ForwardedOrLocal(const char* function, FolderRecord& record, Local&& local) {
  tw::ForwardedBlock block{&record, sizeof record, true};
  const tw::ForwardOutcome remote =
      tw::ForwardIfRemote(function, "TWSTORE.DLL", std::span<tw::ForwardedBlock>(&block, 1));
  return remote.forwarded ? remote.result : local(record);
}

// The two-record calls travel with both records, each coming back filled.
template <typename Local>
uint32_t ForwardedOrLocal(const char* function, FolderRecord& first, FolderRecord& second, Local&& local) {
  tw::ForwardedBlock blocks[2] = {{&first, sizeof first, true}, {&second, sizeof second, true}};
  const tw::ForwardOutcome remote = tw::ForwardIfRemote(function, "TWSTORE.DLL", std::span<tw::ForwardedBlock>(blocks));
  return remote.forwarded ? remote.result : local(first, second);
}

template <typename Body>
uint32_t WithTwoRecords(const char* name, FolderRecord* first, FolderRecord* second, int line, Body&& body) {
  if (first == nullptr || second == nullptr) return 0;
  return tw::AtBoundary(name, kFolderSource, line, 0u, [&]() -> uint32_t { return body(*first, *second); });
}

}  // namespace

extern "C" {

uint32_t StoreFolderAdd(FolderRecord* record) {
  return WithWritableRecord("StoreFolderAdd", record, __LINE__, [](FolderRecord& r) {
    return ForwardedOrLocal("StoreFolderAdd", r, [](FolderRecord& local) { return tw::AddFolder(local); });
  });
}

uint32_t StoreFolderRemove(FolderRecord* record) {
  return WithWritableRecord("StoreFolderRemove", record, __LINE__, [](FolderRecord& r) {
    return ForwardedOrLocal("StoreFolderRemove", r, [](FolderRecord& local) { return tw::RemoveFolder(local); });
  });
}

uint32_t StoreFolderEdit(FolderRecord* oldRecord, FolderRecord* newRecord) {
  return WithTwoRecords("StoreFolderEdit", oldRecord, newRecord, __LINE__, [](FolderRecord& from, FolderRecord& to) {
    return ForwardedOrLocal("StoreFolderEdit", from, to,
                            [](FolderRecord& a, FolderRecord& b) { return tw::MoveFolder(a, b); });
  });
}

uint32_t StoreFolderCopy(FolderRecord* source, FolderRecord* destination) {
  return WithTwoRecords("StoreFolderCopy", source, destination, __LINE__, [](FolderRecord& from, FolderRecord& to) {
    return ForwardedOrLocal("StoreFolderCopy", from, to,
                            [](FolderRecord& a, FolderRecord& b) { return tw::CopyFolder(a, b); });
  });
}

uint32_t StoreFolderGet(FolderRecord* record) {
  return WithWritableRecord("StoreFolderGet", record, __LINE__, [](FolderRecord& r) {
    return ForwardedOrLocal("StoreFolderGet", r,
                            [](FolderRecord& local) { return tw::SizeFolderTree(local, false); });
  });
}

uint32_t StoreFolderGet_Ex(FolderRecord* record, uint32_t kilobytes) {
  return WithWritableRecord("StoreFolderGet_Ex", record, __LINE__,
                            [&](FolderRecord& r) { return tw::SizeFolderTree(r, kilobytes == 1); });
}

uint32_t StoreFolderGetSize(FolderRecord* record) {
  return WithWritableRecord("StoreFolderGetSize", record, __LINE__,
                            [](FolderRecord& r) { return tw::SizeFolderTree(r, false); });
}

uint32_t StoreFolderFindFirst(FolderRecord* record) {
  return WithWritableRecord("StoreFolderFindFirst", record, __LINE__, [](FolderRecord& r) {
    return ForwardedOrLocal("StoreFolderFindFirst", r,
                            [](FolderRecord& local) { return tw::FindFirstSubFolder(local, nullptr, false); });
  });
}

uint32_t StoreFolderFindNext(FolderRecord* record) {
  return WithWritableRecord("StoreFolderFindNext", record, __LINE__, [](FolderRecord& r) {
    return ForwardedOrLocal("StoreFolderFindNext", r,
                            [](FolderRecord& local) { return tw::FindNextSubFolder(local, nullptr, false); });
  });
}

uint32_t StoreFolderFindClose(FolderRecord* record) {
  return WithWritableRecord("StoreFolderFindClose", record, __LINE__, [](FolderRecord& r) {
    return ForwardedOrLocal("StoreFolderFindClose", r,
                            [](FolderRecord&) { return tw::CloseSubFolderSearch(nullptr); });
  });
}

uint32_t StoreFolder_ReIndexChildFolders(FolderRecord* record) {
  return WithWritableRecord("StoreFolder_ReIndexChildFolders", record, __LINE__,
                            [](FolderRecord& r) { return tw::ReindexChildFolders(r); });
}

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
