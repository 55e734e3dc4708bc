#include "services/remote/forwarded_calls.h"

#include <array>

#include "common/text.h"

namespace tw::remote {
namespace {

constexpr uint32_t kFolderRecord = 2576;
constexpr uint32_t kBlobRecord = 9220;
constexpr uint32_t kCommandMessageRecord = 26176;
constexpr uint32_t kLegacyFolderRecord = 1540;
constexpr uint32_t kMessageItemBlobRecord = 9604;
constexpr uint32_t kMessageItemListRecord = 5380;
constexpr uint32_t kMessageItemRecord = 2184;
constexpr uint32_t kMessageSearchRecord = 1160;
constexpr uint32_t kAppointmentRecord = 648;

constexpr ForwardedCall One(std::string_view function, uint32_t size, bool returned, bool available = false,
                            std::string_view library = kStoreLibrary) {
  return ForwardedCall{function, library, 1, {size, 0}, {returned, false}, available};
}
constexpr ForwardedCall Two(std::string_view function, uint32_t first, uint32_t second, bool firstBack,
                            bool secondBack, bool available = false, std::string_view library = kStoreLibrary) {
  return ForwardedCall{function, library, 2, {first, second}, {firstBack, secondBack}, available};
}

constexpr std::array kCalls = {
    One("StoreFolderFindFirst", kFolderRecord, true, true),
    One("StoreFolderFindNext", kFolderRecord, true, true),
    One("StoreFolderFindClose", kFolderRecord, false, true),
    One("StoreFolderAdd", kFolderRecord, false, true),
    One("StoreFolderRemove", kFolderRecord, false, true),
    One("StoreFolderGet", kFolderRecord, true, true),
    Two("StoreFolderEdit", kFolderRecord, kFolderRecord, false, false, true),
    Two("StoreFolderCopy", kFolderRecord, kFolderRecord, false, false, true),
    One("BLOBWriteFirstChunk", kBlobRecord, false),
    One("BLOBWriteNextChunk", kBlobRecord, false),
    One("BLOBGetFirstChunk", kBlobRecord, true),
    One("BLOBGetNextChunk", kBlobRecord, true),
    One("BLOBGetSize", kBlobRecord, true),
    One("CommandMessageGet", kCommandMessageRecord, true),
    One("CommandMessageSet", kCommandMessageRecord, true),
    One("CommandMessageFindFirst", kCommandMessageRecord, true),
    One("CommandMessageFindNext", kCommandMessageRecord, true),
    One("FolderAdd", kLegacyFolderRecord, false),
    One("FolderRemove", kLegacyFolderRecord, false),
    One("FolderFindClose", kLegacyFolderRecord, false),
    Two("FolderEdit", kLegacyFolderRecord, kLegacyFolderRecord, false, false),
    One("FolderGet", kLegacyFolderRecord, true),
    One("FolderFindFirst", kLegacyFolderRecord, true),
    One("FolderFindNext", kLegacyFolderRecord, true),
    One("MessageItemBLOBWriteFirstChunk", kMessageItemBlobRecord, false),
    One("MessageItemBLOBWriteNextChunk", kMessageItemBlobRecord, false),
    One("MessageItemBLOBGetFirstChunk", kMessageItemBlobRecord, true),
    One("MessageItemBLOBGetNextChunk", kMessageItemBlobRecord, true),
    One("MessageItemBLOBGetSize", kMessageItemBlobRecord, true),
    Two("MessageItemFindNext", kMessageItemListRecord, kMessageItemRecord, false, true),
    One("MessageItemFindClose", kMessageItemListRecord, false),
    One("MessageItemListGetLength", kMessageItemListRecord, false),
    One("MessageItemListGetNewLength", kMessageItemListRecord, false),
    One("MessageItemListGetUnReadLength", kMessageItemListRecord, false),
    One("MessageItemListSetPosition", 4, false),
    One("MessagesFindFirst", kMessageSearchRecord, true),
    One("MessagesFindNext", kMessageSearchRecord, true),
    One("AppointmentAdd", kAppointmentRecord, true, false, kCalendarLibrary),
    One("AppointmentRemove", kAppointmentRecord, true, false, kCalendarLibrary),
    One("AppointmentGet", kAppointmentRecord, true, false, kCalendarLibrary),
    One("AppointmentFindFirst", kAppointmentRecord, true, false, kCalendarLibrary),
    One("AppointmentFindNext", kAppointmentRecord, true, false, kCalendarLibrary),
    Two("AppointmentEdit", kAppointmentRecord, kAppointmentRecord, false, false, false, kCalendarLibrary),
};

}  // namespace

std::span<const ForwardedCall> ForwardedCalls() { return kCalls; }

const ForwardedCall* FindForwardedCall(std::string_view function, std::string_view library) {
  for (const ForwardedCall& call : kCalls)
    if (call.function == function && EqualsNoCase(call.library, library)) return &call;
  return nullptr;
}

}  // namespace tw::remote
