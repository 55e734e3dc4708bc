// The exported store index calls: a caller's record and the direct
// operations that need none.
#include <cstdint>
#include <string>

#include "frame/event_report.h"
#include "index/lifecycle/direct_operations.h"
#include "index/lifecycle/index_removal.h"
#include "index/items/item_record.h"
#include "index/messages/message_item.h"
#include "index/locking/mutex_lock.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "twstore.h"

namespace {

// A null record is reported on standard output and fails the call.
template <typename Body>
uint32_t WithRecord(const char* name, STOREINDEXTYPE* record, int line, Body&& body) {
  if (record == nullptr) {
    tw::Print(std::string("WARNING!: StoreIndex is NULL when passed to ") + name + "\n");
    return 0;
  }
  return tw::AtBoundary(name, tw::kStoreIndexSource, line, 0u, [&] { return static_cast<uint32_t>(body(*record)); });
}

std::string Text(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

extern "C" {

uint32_t StoreIndex_Init(STOREINDEXTYPE* record) {
  return WithRecord("StoreIndex_Init", record, __LINE__, [](STOREINDEXTYPE& r) {
    tw::InitRecord(r);
    return 1;
  });
}

uint32_t StoreIndex_SetPaths(STOREINDEXTYPE* record) {
  return WithRecord("StoreIndex_SetPaths", record, __LINE__, [](STOREINDEXTYPE& r) {
    tw::SetRecordPaths(r);
    return 1;
  });
}

uint32_t StoreIndex_Open(STOREINDEXTYPE* record, uint32_t mode) {
  return WithRecord("StoreIndex_Open", record, __LINE__, [&](STOREINDEXTYPE& r) { return tw::OpenRecord(r, mode); });
}

uint32_t StoreIndex_Scan(STOREINDEXTYPE* record) {
  return WithRecord("StoreIndex_Scan", record, __LINE__,
                    [](STOREINDEXTYPE& r) { return tw::ScanRecord(r, tw::kScanExplicit); });
}

uint32_t StoreIndex_Get(STOREINDEXTYPE* record) {
  return WithRecord("StoreIndex_Get", record, __LINE__, [](STOREINDEXTYPE& r) { return tw::GetRecord(r); });
}

uint32_t GetStoreItemByMessageID(STOREINDEXTYPE* record, const char* id, int32_t detailLevel,
                                 StoreItemRecord* item) {
  return WithRecord("GetStoreItemByMessageID", record, __LINE__, [&](STOREINDEXTYPE& r) {
    if (id == nullptr || item == nullptr) return 0;
    tw::StoreIndexMutexLock lock(tw::LockFieldsOf(r));
    const tw::IndexItemPropertyContainer* found = tw::IndexOf(r).FindById(id);
    return found != nullptr && tw::CopyItemToRecord(found, detailLevel, *item) ? 1 : 0;
  });
}

uint32_t StoreIndex_InsertItem(STOREINDEXTYPE* record, const char* fileName, int32_t option) {
  return WithRecord("StoreIndex_InsertItem", record, __LINE__, [&](STOREINDEXTYPE& r) {
    if (fileName == nullptr) return 0;
    tw::StoreIndexMutexLock lock(tw::LockFieldsOf(r));
    tw::SORTEDSTOREINDEXTYPE& index = tw::IndexOf(r);
    const tw::IndexItemPropertyContainer* item = tw::IndexMessageFile(index, r.folderPath, fileName, option, "", false);
    if (item == nullptr) return 0;
    r.lastUid = index.LastUid();
    r.itemCount = static_cast<uint32_t>(index.Count());
    r.changed = 1;
    return 1;
  });
}

uint32_t StoreIndex_RemoveItem(STOREINDEXTYPE* record, const char* ids, int32_t /*option*/) {
  return WithRecord("StoreIndex_RemoveItem", record, __LINE__, [&](STOREINDEXTYPE& r) {
    tw::StoreIndexMutexLock lock(tw::LockFieldsOf(r));
    tw::SORTEDSTOREINDEXTYPE& index = tw::IndexOf(r);
    if (!tw::RemoveFromIndex(index, Text(ids), nullptr, nullptr)) return 0;
    r.itemCount = static_cast<uint32_t>(index.Count());
    r.changed = 1;
    return 1;
  });
}

uint32_t StoreIndex_Save(STOREINDEXTYPE* record) {
  return WithRecord("StoreIndex_Save", record, __LINE__, [](STOREINDEXTYPE& r) { return tw::SaveRecord(r); });
}

uint32_t StoreIndex_Release(STOREINDEXTYPE* record) {
  return WithRecord("StoreIndex_Release", record, __LINE__, [](STOREINDEXTYPE& r) {
    tw::ReleaseRecord(r);
    return 1;
  });
}

int32_t Direct_StoreIndex_InsertItem(const char* postoffice, const char* mailbox, const char* folder,
                                     const char* ids) {
  return tw::AtBoundary("Direct_StoreIndex_InsertItem", tw::kStoreIndexSource, __LINE__, 0, [&] {
    return tw::DirectInsertItems(Text(postoffice), Text(mailbox), Text(folder), Text(ids), "");
  });
}

int32_t Direct_StoreIndex_InsertItemEx(const char* postoffice, const char* mailbox, const char* folder,
                                       const char* ids, const char* flags) {
  return tw::AtBoundary("Direct_StoreIndex_InsertItemEx", tw::kStoreIndexSource, __LINE__, 0, [&] {
    return tw::DirectInsertItems(Text(postoffice), Text(mailbox), Text(folder), Text(ids), Text(flags));
  });
}

int32_t Direct_StoreIndex_UpdateItem(const char* postoffice, const char* mailbox, const char* folder,
                                     const char* ids, const char* change) {
  return tw::AtBoundary("Direct_StoreIndex_UpdateItem", tw::kStoreIndexSource, __LINE__, 0, [&] {
    return tw::DirectUpdateItems(Text(postoffice), Text(mailbox), Text(folder), Text(ids), Text(change));
  });
}

int32_t Direct_StoreIndex_RemoveItem(const char* postoffice, const char* mailbox, const char* folder,
                                     const char* ids) {
  return tw::AtBoundary("Direct_StoreIndex_RemoveItem", tw::kStoreIndexSource, __LINE__, 0, [&] {
    return tw::DirectRemoveItems(Text(postoffice), Text(mailbox), Text(folder), Text(ids));
  });
}

}  // extern "C"
