#include "services/remote/forwarded_calls.h"

#include <cctype>

namespace tw::remote {
namespace {

constexpr uint32_t kFolder = 2576;
constexpr uint32_t kBlob = 9220;
constexpr uint32_t kCommandMessage = 26176;
constexpr uint32_t kLegacyFolder = 1540;
constexpr uint32_t kItemBlob = 9604;
constexpr uint32_t kItemList = 5380;
constexpr uint32_t kItem = 2184;
constexpr uint32_t kPosition = 4;
constexpr uint32_t kSearch = 1160;
constexpr uint32_t kAppointment = 648;

constexpr ForwardedCall One(std::string_view function, uint32_t size, bool returned, bool available,
                            std::string_view library = kStoreLibrary) {
  return {function, library, 1, {size, 0}, {returned, false}, available};
}
constexpr ForwardedCall Two(std::string_view function, uint32_t first, uint32_t second, bool returnSecond,
                            bool available, std::string_view library = kStoreLibrary) {
  return {function, library, 2, {first, second}, {false, returnSecond}, available};
}

constexpr ForwardedCall kCalls[] = {
    One("StoreFolderFindFirst", kFolder, true, true),
    One("StoreFolderFindNext", kFolder, true, true),
    One("StoreFolderFindClose", kFolder, false, true),
    One("StoreFolderAdd", kFolder, false, true),
    One("StoreFolderRemove", kFolder, false, true),
    One("StoreFolderGet", kFolder, true, true),
    Two("StoreFolderEdit", kFolder, kFolder, false, true),
    Two("StoreFolderCopy", kFolder, kFolder, false, true),
    One("BLOBWriteFirstChunk", kBlob, false, false),
    One("BLOBWriteNextChunk", kBlob, false, false),
    One("BLOBGetFirstChunk", kBlob, true, false),
    One("BLOBGetNextChunk", kBlob, true, false),
    One("BLOBGetSize", kBlob, true, false),
    One("CommandMessageGet", kCommandMessage, true, false),
    One("CommandMessageSet", kCommandMessage, true, false),
    One("CommandMessageFindFirst", kCommandMessage, true, false),
    One("CommandMessageFindNext", kCommandMessage, true, false),
    One("FolderAdd", kLegacyFolder, false, false),
    One("FolderRemove", kLegacyFolder, false, false),
    One("FolderFindClose", kLegacyFolder, false, false),
    Two("FolderEdit", kLegacyFolder, kLegacyFolder, false, false),
    One("FolderGet", kLegacyFolder, true, false),
    One("FolderFindFirst", kLegacyFolder, true, false),
    One("FolderFindNext", kLegacyFolder, true, false),
    One("MessageItemBLOBWriteFirstChunk", kItemBlob, false, false),
    One("MessageItemBLOBWriteNextChunk", kItemBlob, false, false),
    One("MessageItemBLOBGetFirstChunk", kItemBlob, true, false),
    One("MessageItemBLOBGetNextChunk", kItemBlob, true, false),
    One("MessageItemBLOBGetSize", kItemBlob, true, false),
    Two("MessageItemFindNext", kItemList, kItem, true, false),
    One("MessageItemFindClose", kItemList, false, false),
    One("MessageItemListGetLength", kItemList, false, false),
    One("MessageItemListGetNewLength", kItemList, false, false),
    One("MessageItemListGetUnReadLength", kItemList, false, false),
    One("MessageItemListSetPosition", kPosition, false, false),
    One("MessagesFindFirst", kSearch, true, false),
    One("MessagesFindNext", kSearch, true, false),
    One("AppointmentAdd", kAppointment, true, false, kCalendarLibrary),
    One("AppointmentRemove", kAppointment, true, false, kCalendarLibrary),
    One("AppointmentGet", kAppointment, true, false, kCalendarLibrary),
    One("AppointmentFindFirst", kAppointment, true, false, kCalendarLibrary),
    One("AppointmentFindNext", kAppointment, true, false, kCalendarLibrary),
    Two("AppointmentEdit", kAppointment, kAppointment, false, false, kCalendarLibrary),
};

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

std::span<const ForwardedCall> ForwardedCalls() { return kCalls; }

const ForwardedCall* FindForwardedCall(std::string_view function, std::string_view library) {
  for (const ForwardedCall& call : kCalls)
    if (call.function == function && SameLetters(call.library, library)) return &call;
  return nullptr;
}

}  // namespace tw::remote
