#include "index/messages/message_item.h"

#include <charconv>
#include <memory>

#include "common/text.h"
#include "index/items/index_item_property_container.h"
#include "index/messages/message_index_settings.h"
#include "index/items/property_registry.h"
#include "index/items/sorted_store_index.h"
#include "index/items/text_arena.h"
#include "index/file/store_index_serialiser.h"
#include "platform/files.h"

namespace tw {
namespace {

// Slots never change once handed out, so the keys are looked up once.
struct MessageKeys {
  PropertyKey messageDate, modifiedDate, importance, flagStatus, attachments, from, to, cc, subject, received,
      state, messageClass, categories, size;
};

const MessageKeys& Keys() {
  static const MessageKeys keys = [] {
    PropertyRegistry& r = PropertyRegistry::Process();
    return MessageKeys{r.Lookup("MESSAGEDATE"), r.Lookup("MODIFIEDDATE"), r.Lookup("IMPORTANCE"),
                       r.Lookup(kPropFlagStatus), r.Lookup("ATTACHMENTS"), r.Lookup("FROM"),
                       r.Lookup("TO"),           r.Lookup("CC"),           r.Lookup("SUBJECT"),
                       r.Lookup("RECEIVED"),     r.Lookup("STATE"),        r.Lookup("CLASS"),
                       r.Lookup("CATEGORIES"),   r.Lookup("SIZE")};
  }();
  return keys;
}

template <typename Number>
void SetDecimal(IndexItemPropertyContainer& item, PropertyKey key, Number n) {
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, n).ptr;
  item.SetText(key, std::string_view(text, static_cast<size_t>(end - text)));
}

// The flag-aware setter's rule (IndexItem::Set): READ follows \SEEN.
void SetFlags(IndexItemPropertyContainer& item, std::string_view flags) {
  item.SetText(Keys().flagStatus, flags);
  item.SetText(kKeyRead, ContainsNoCase(flags, "\\SEEN") ? "1" : "0");
}

void SetChangingProperties(IndexItemPropertyContainer& item, const MessageHeaderInfo& info, int32_t read) {
  const MessageKeys& k = Keys();
  item.SetText(k.messageDate, info.messageDate);
  item.SetText(k.subject, info.subject);
  item.SetText(k.received, info.receivedDate);
  SetDecimal(item, k.modifiedDate, info.fileTime);
  SetDecimal(item, k.attachments, info.hasAttachments);
  SetDecimal(item, kKeyRead, read);
  SetDecimal(item, k.size, info.size);
}

// A text kept in `arena` when there is one and the text is too long to be
// held inside the container's own word (a block of its own otherwise).
void SetKeptText(IndexItemPropertyContainer& item, PropertyKey key, std::string_view text, TextArena* arena) {
  if (arena != nullptr && text.size() >= 8)
    item.SetTextView(key, arena->Keep(text));
  else
    item.SetText(key, text);
}

void SetHeaderProperties(IndexItemPropertyContainer& item, const MessageHeaderInfo& info, TextArena* arena) {
  const MessageKeys& k = Keys();
  SetKeptText(item, k.messageDate, info.messageDate, arena);
  SetDecimal(item, k.modifiedDate, info.fileTime);
  SetDecimal(item, k.importance, info.priority);
  SetFlags(item, FlagStatusFromHeader(info));
  SetDecimal(item, k.attachments, info.hasAttachments);
  SetKeptText(item, k.from, info.from, arena);
  SetKeptText(item, k.to, info.to, arena);
  SetKeptText(item, k.cc, info.cc, arena);
  SetKeptText(item, k.subject, info.subject, arena);
  SetKeptText(item, k.received, info.receivedDate, arena);
  SetDecimal(item, kKeyRead, info.read);
  item.SetText(k.state, "0");
  SetKeptText(item, k.messageClass, info.messageClass, arena);
  SetKeptText(item, k.categories, info.categories, arena);
  SetDecimal(item, k.size, info.size);
}

}  // namespace

bool IsIndexableMessageName(std::string_view name) {
  if (name.empty() || name.size() >= kMessageNameLimit || name == "." || name == "..") return false;
  return name.find_first_of("\\/") == std::string_view::npos;
}

std::string FlagStatusFromHeader(const MessageHeaderInfo& info) {
  if (info.initialFlags.empty()) return "\\RECENT";
  std::string flags = info.initialFlags;
  AddFlagWord(flags, info.read == 1 ? "SEEN" : "RECENT");
  return flags;
}

void SetItemFromHeader(IndexItemPropertyContainer& item, const MessageHeaderInfo& info, bool placeholder,
                       TextArena* arena) {
  SetKeptText(item, kKeyId, info.fileName, arena);
  SetDecimal(item, kKeyUid, info.uidFromFile);
  if (!placeholder) SetHeaderProperties(item, info, arena);
}

uint32_t ItemModifiedDate(const IndexItemPropertyContainer& item) {
  char scratch[16];
  const std::string_view text = item.TextView(Keys().modifiedDate, scratch);
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(value);
}

void RefreshModifiedDate(IndexItemPropertyContainer& item, const std::string& folder) {
  platform::FileInfo info;
  if (!platform::GetFileInfo(InFolder(folder, item.GetText(kKeyId)), info)) return;
  item.SetText("MODIFIEDDATE", std::to_string(platform::FileTimeToDosDateTime(info.lastWriteTime)));
}

void RereadItemFromHeader(IndexItemPropertyContainer& item, const MessageHeaderInfo& info) {
  if (ItemModifiedDate(item) == 0) {
    // Never dated before: everything but the identity comes anew.
    SetHeaderProperties(item, info, nullptr);
    return;
  }
  char scratch[16];
  const bool keptSeen = ContainsNoCase(item.TextView(Keys().flagStatus, scratch), "SEEN");
  SetChangingProperties(item, info, info.read == 1 || keptSeen ? 1 : 0);
}

IndexItemPropertyContainer* IndexMessageFile(SORTEDSTOREINDEXTYPE& index, const std::string& folderPath,
                                             const std::string& fileName, int32_t mode, const char* initialFlags,
                                             bool clearFlags) {
  // Only what is in memory is checked: a delivery opens the index at its
  // header, and reading every element to rule out a duplicate would cost a
  // full load per message. A duplicate element appended to the file is
  // dropped by the next load, which keeps the first.
  if (!IsIndexableMessageName(fileName) || index.FindLoadedById(fileName) != nullptr) return nullptr;
  auto info = std::make_unique<MessageHeaderInfo>();
  SetBounded(info->fileName, sizeof info->fileName, fileName);
  if (initialFlags != nullptr) info->initialFlags = initialFlags;
  const bool placeholder = mode != 1 && mode != 2;
  if (!placeholder) {
    HeaderParseOptions options;
    options.clearInitialFlags = clearFlags;
    options.checkUids = UidBrandingEnabled() != 0;
    options.alternativeHasAttachments = MultipartAlternativeHasAttachments() == 1;
    info->expectedUidValidity = 0;
    if (ParseHeaders(InFolder(folderPath, fileName), *info, options) == 0) return nullptr;
    if (ContainsNoCase(info->initialFlags, "SEEN")) info->read = 1;
    if (info->initialFlags.rfind("SIZE=", 0) == 0) {
      info->size = ParseLeadingNumber(std::string_view(info->initialFlags).substr(5));
      info->initialFlags.clear();
    }
  }
  auto item = std::make_unique<IndexItemPropertyContainer>();
  SetItemFromHeader(*item, *info, placeholder);
  if (!index.InsertAtEnd(item.get())) return nullptr;
  return item.release();
}

uint32_t FolderUidValidity(const std::string& folderPath) {
  platform::FindHandle find;
  platform::FindData data;
  for (bool more = find.First(InFolder(folderPath, "*"), data); more; more = find.Next(data))
    if (data.name == ".") return static_cast<uint32_t>(data.creationTime & 0xFFFFFFFFu);
  return 0;
}

}  // namespace tw
