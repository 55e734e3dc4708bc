#include "services/remote/forwarded_calls.h"

#include "common/text.h"

namespace tw::remote {
namespace {

constexpr uint32_t kFolder = 2576, kBlob = 9220, kCommandMessage = 26176, kLegacyFolder = 1540;
constexpr uint32_t kItemBlob = 9604, kItemList = 5380, kItem = 2184, kSearch = 1160, kAppointment = 648;

constexpr ForwardedCall One(std::string_view function, uint32_t size, bool returned, bool available = false,
                            std::string_view library = kStoreLibrary) {
  return ForwardedCall{function, library, 1, {size, 0}, {returned, false}, available};
}

constexpr ForwardedCall Two(std::string_view function, uint32_t size, bool available = false,
                            std::string_view library = kStoreLibrary) {
  return ForwardedCall{function, library, 2, {size, size}, {false, false}, available};
}

constexpr ForwardedCall kCalls[] = {
    One("StoreFolderFindFirst", kFolder, true, true),
    One("StoreFolderFindNext", kFolder, true, true),
    One("StoreFolderFindClose", kFolder, false, true),
    One("StoreFolderAdd", kFolder, false, true),
    One("StoreFolderRemove", kFolder, false, true),
    One("StoreFolderGet", kFolder, true, true),
    Two("StoreFolderEdit", kFolder, true),
    Two("StoreFolderCopy", kFolder, true),
    One("BLOBWriteFirstChunk", kBlob, false),
    One("BLOBWriteNextChunk", kBlob, false),
    One("BLOBGetFirstChunk", kBlob, true),
    One("BLOBGetNextChunk", kBlob, true),
    One("BLOBGetSize", kBlob, true),
    One("CommandMessageGet", kCommandMessage, true),
    One("CommandMessageSet", kCommandMessage, true),
    One("CommandMessageFindFirst", kCommandMessage, true),
    One("CommandMessageFindNext", kCommandMessage, true),
    One("FolderAdd", kLegacyFolder, false),
    One("FolderRemove", kLegacyFolder, false),
    One("FolderFindClose", kLegacyFolder, false),
    Two("FolderEdit", kLegacyFolder),
    One("FolderGet", kLegacyFolder, true),
    One("FolderFindFirst", kLegacyFolder, true),
    One("FolderFindNext", kLegacyFolder, true),
    One("MessageItemBLOBWriteFirstChunk", kItemBlob, false),
    One("MessageItemBLOBWriteNextChunk", kItemBlob, false),
    One("MessageItemBLOBGetFirstChunk", kItemBlob, true),
    One("MessageItemBLOBGetNextChunk", kItemBlob, true),
    One("MessageItemBLOBGetSize", kItemBlob, true),
    ForwardedCall{"MessageItemFindNext", kStoreLibrary, 2, {kItemList, kItem}, {false, true}, false},
    One("MessageItemFindClose", kItemList, false),
    One("MessageItemListGetLength", kItemList, false),
    One("MessageItemListGetNewLength", kItemList, false),
    One("MessageItemListGetUnReadLength", kItemList, false),
    One("MessageItemListSetPosition", 4, false),
    One("MessagesFindFirst", kSearch, true),
    One("MessagesFindNext", kSearch, true),
    One("AppointmentAdd", kAppointment, true, false, kCalendarLibrary),
    One("AppointmentRemove", kAppointment, true, false, kCalendarLibrary),
    One("AppointmentGet", kAppointment, true, false, kCalendarLibrary),
    One("AppointmentFindFirst", kAppointment, true, false, kCalendarLibrary),
    One("AppointmentFindNext", kAppointment, true, false, kCalendarLibrary),
    Two("AppointmentEdit", kAppointment, false, kCalendarLibrary),
};

}  // namespace

std::span<const ForwardedCall> ForwardedCalls() { return kCalls; }

const ForwardedCall* FindForwardedCall(std::string_view function, std::string_view library) {
  for (const ForwardedCall& call : kCalls) {
    if (call.function == function && EqualsNoCase(call.library, library)) return &call;
  }
  return nullptr;
}

}  // namespace tw::remote
