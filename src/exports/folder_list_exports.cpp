// The exported folder-list and sub-folder enumeration calls.
#include <cstdint>
#include <new>
#include <span>

#include "folders/tree/folder_enumeration.h"
#include "folders/tree/folder_list.h"
#include "frame/event_report.h"
#include "services/remote_forward.h"
#include "twstore.h"

struct TwFolderList : tw::FolderList {};

namespace {

constexpr const char* kModule = "PROVIDERS\\Store\\StoreFolderTLS";

tw::FolderList* AsList(TwFolderList* list) { return list; }

// The record travels to a remote host and comes back with its name filled.
tw::ForwardOutcome Forward(const char* function, FolderRecord* record) {
  tw::ForwardedBlock block{record, sizeof *record, true};
  return tw::ForwardIfRemote(function, "TWSTORE.DLL", std::span<tw::ForwardedBlock>(&block, 1));
}

}  // namespace

extern "C" {

uint32_t CreateTLSFolderList(TwFolderList** place) {
  return tw::AtBoundary("CreateTLSFolderList", kModule, __LINE__, 1u, [&] {
    if (place != nullptr) *place = new (std::nothrow) TwFolderList();
    return 1u;
  });
}

uint32_t InitTLSFolderList(TwFolderList* list) {
  return tw::AtBoundary("InitTLSFolderList", kModule, __LINE__, 1u, [&] {
    if (list != nullptr) tw::InitFolderList(*list);
    return 1u;
  });
}

uint32_t UnInitTLSFolderList(TwFolderList* list) {
  if (list != nullptr) tw::UnInitFolderList(*list);
  return 1;
}

uint32_t FreeTLSFolderList(TwFolderList** place) {
  if (place != nullptr) {
    delete *place;
    *place = nullptr;
  }
  return 1;
}

uint32_t TLS_StoreFolderFindFirst(FolderRecord* record, TwFolderList* list, uint8_t verify) {
  return tw::AtBoundary("TLS_StoreFolderFindFirst", kModule, __LINE__, 0u, [&] {
    if (record == nullptr) return 0u;
    if (const tw::ForwardOutcome remote = Forward("TLS_StoreFolderFindFirst", record); remote.forwarded)
      return remote.result;
    return tw::FindFirstSubFolder(*record, AsList(list), verify != 0);
  });
}

uint32_t TLS_StoreFolderFindNext(FolderRecord* record, TwFolderList* list, uint8_t verify) {
  return tw::AtBoundary("TLS_StoreFolderFindNext", kModule, 747, 0u, [&] {
    if (record == nullptr) return 0u;
    if (const tw::ForwardOutcome remote = Forward("TLS_StoreFolderFindNext", record); remote.forwarded)
      return remote.result;
    return tw::FindNextSubFolder(*record, AsList(list), verify != 0);
  });
}

uint32_t TLS_StoreFolderFindClose(FolderRecord*, TwFolderList* list) {
  return tw::AtBoundary("TLS_StoreFolderFindClose", kModule, __LINE__, 1u,
                        [&] { return tw::CloseSubFolderSearch(AsList(list)); });
}

}  // extern "C"
