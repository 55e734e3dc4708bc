// Message text of any bytes: header parsing stays inside every fixed field
// and terminates it, examines at most 301 lines, and the item made from the
// header holds the field values; date conversions stay inside their buffers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "calendar/header_dates.h"
#include "index/items/index_item_property_container.h"
#include "index/messages/message_header.h"
#include "index/messages/message_item.h"

namespace {

void CheckTerminated(const char* field, size_t size) {
  if (std::memchr(field, '\0', size) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the options; the rest is the message.
  const uint8_t flags = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  tw::HeaderParseOptions options;
  options.clearInitialFlags = flags & 1;
  options.checkUids = flags & 2;
  options.seenFromXRead = flags & 4;
  options.alternativeHasAttachments = flags & 8;
  auto info = std::make_unique<tw::MessageHeaderInfo>();
  info->expectedUidValidity = flags >> 4;
  if (flags & 0x10) info->initialFlags = "\\FLAGGED";
  tw::ParseHeaderText(text, *info, options);

  CheckTerminated(info->from, sizeof info->from);
  CheckTerminated(info->fromFallback, sizeof info->fromFallback);
  CheckTerminated(info->replyTo, sizeof info->replyTo);
  CheckTerminated(info->messageId, sizeof info->messageId);
  CheckTerminated(info->fileName, sizeof info->fileName);
  CheckTerminated(info->receivedDate, sizeof info->receivedDate);
  CheckTerminated(info->messageDate, sizeof info->messageDate);
  CheckTerminated(info->subject, sizeof info->subject);
  CheckTerminated(info->messageClass, sizeof info->messageClass);
  if (info->headerText.size() > text.size()) std::abort();
  if (info->priority < 1) std::abort();
  if (info->hasAttachments != 0 && info->hasAttachments != 1) std::abort();

  tw::IndexItemPropertyContainer item;
  tw::SetBounded(info->fileName, sizeof info->fileName, "m.MAI");
  tw::SetItemFromHeader(item, *info, false);
  if (item.GetText("SUBJECT") != info->subject) std::abort();
  if (item.GetText("TO") != info->to.substr(0, info->to.find('\0'))) std::abort();
  if (item.GetText("FLAGSTATUS").empty()) std::abort();
  tw::RereadItemFromHeader(item, *info);

  char iso[tw::kIsoDateCapacity];
  std::memset(iso, 'x', sizeof iso);
  const size_t length = tw::IsoDateFromMessageDate(text, iso, sizeof iso);
  if (length >= sizeof iso || iso[length] != '\0') std::abort();
  if (tw::IsoDateFromHeaderDate(text).size() >= tw::kIsoDateCapacity) std::abort();
  return 0;
}
