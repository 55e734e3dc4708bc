// twstore show and twstore set: one item's properties through the item
// interface a service uses, by PR_ name (with the index name beside it) or
// by index name, and its body parts read from its message file.
#include <cstdlib>
#include <cstring>
#include <set>

#include "calendar/date_texts.h"
#include "commands.h"
#include "common/text.h"
#include "common/wide_text.h"
#include "folders/items/item_calls.h"
#include "folders/properties/item_property_access.h"
#include "folders/properties/property_map.h"
#include "index/items/sorted_store_index.h"
#include "mail_folder.h"

namespace tw::cli {
namespace {

constexpr uint32_t kMailFolder = 0;
constexpr int32_t kOpenAsService = 1;

// A UTF-16 text of `units` units (the terminator included) as UTF-8.
std::string FromWide(const unsigned char* bytes, uint32_t units) {
  std::u16string text(units > 0 ? units - 1 : 0, u'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes, text.size() * 2);
  return Utf8FromWide(text);
}

// A handed-out value as text, by its value type.
std::string Describe(const void* value, uint32_t length, uint32_t valueType) {
  const auto* bytes = static_cast<const unsigned char*>(value);
  switch (valueType) {
    case kValueFileTime: {
      uint64_t fileTime;
      std::memcpy(&fileTime, bytes, sizeof fileTime);
      return IsoTextFromFileTime(fileTime);
    }
    case kValueInteger: {
      int32_t n;
      std::memcpy(&n, bytes, sizeof n);
      return std::to_string(n);
    }
    case kValueDouble: {
      double d;
      std::memcpy(&d, bytes, sizeof d);
      return FormatText(64, "%.2f", d);
    }
    case kValueTruth:
    case kValueWord: {
      uint32_t n;
      std::memcpy(&n, bytes, sizeof n);
      return std::to_string(n);
    }
    case kValueWideFrom8:
    case kValueWideText:
      return FromWide(bytes, length);
    default:
      return std::string(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), length));
  }
}

// The current item's property by interface name; false when it has none.
bool ReadProperty(const std::string& name, uint32_t valueType, std::string& text) {
  void* value = nullptr;
  uint32_t length = 0;
  if (GetCurrentItemProperty(name, &value, &length) != kPropertyReturned || value == nullptr) return false;
  text = Describe(value, length, valueType);
  std::free(value);
  return true;
}

void PrintLine(std::ostream& out, const std::string& name, const std::string& indexName, const std::string& value) {
  out << name << "\t" << indexName << "\t" << Printable(value) << "\n";
}

// The folder open through the item interface, closed with the object.
class OpenedFolder {
 public:
  explicit OpenedFolder(const MailFolder& folder)
      : opened_(OpenFolder(folder.postoffice.c_str(), folder.mailbox.c_str(), folder.folder.c_str(), kMailFolder,
                           kOpenAsService) != 0) {}
  ~OpenedFolder() {
    if (opened_) CloseFolder();
  }
  OpenedFolder(const OpenedFolder&) = delete;
  OpenedFolder& operator=(const OpenedFolder&) = delete;
  bool Opened() const { return opened_; }

 private:
  bool opened_;
};

// The one item an "--ids" entry names, opened for the item calls.
int OpenOneItem(const ItemRequest& request, MailFolder& folder, std::string& id, std::ostream& err) {
  if (const int rc = ResolveMailFolder(request.target, folder, err); rc != 0) return rc;
  std::vector<std::string> ids;
  if (!ResolveItemIds(folder, request.ids, ids, err)) return kExitRefused;
  if (ids.size() != 1) {
    err << "twstore: name exactly one item with --ids\n";
    return kExitRefused;
  }
  id = ids.front();
  return 0;
}

}  // namespace

int ShowItem(const ItemRequest& request, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  std::string id;
  if (const int rc = OpenOneItem(request, folder, id, err); rc != 0) return rc;
  OpenedFolder opened(folder);
  if (!opened.Opened() || SelectItem(id) != 1) {
    err << "twstore: the item " << Named(id) << " could not be opened in " << Shown(folder.directory) << "\n";
    return kExitFailed;
  }
  std::set<std::string> shownIndexNames;
  bool found = false;
  for (PropertyTable table : {CommonPropertyTable(), MailPropertyTable()}) {
    for (const PropertyMapping& row : table) {
      const std::string indexName(StoredName(row.descriptor.indexName));
      shownIndexNames.insert(indexName);
      if (!request.property.empty() && !EqualsNoCase(request.property, row.name) &&
          !EqualsNoCase(request.property, indexName))
        continue;
      std::string value;
      if (!ReadProperty(std::string(row.name), row.descriptor.valueType, value)) continue;
      PrintLine(out, std::string(row.name), indexName, value);
      found = true;
      if (!request.property.empty()) return 0;
    }
  }
  // What the index holds beyond the interface's names, by index name.
  FolderIndex index(folder);
  if (index.Open(kReadAsItIs)) {
    if (const IndexItemPropertyContainer* item = index.Index().FindById(id)) {
      for (const auto& [name, value] : item->GetAll()) {
        if (shownIndexNames.count(name) != 0) continue;
        if (!request.property.empty() && !EqualsNoCase(request.property, name)) continue;
        PrintLine(out, "-", name, value);
        found = true;
      }
    }
  }
  // The body parts, as the message file holds them.
  for (const char* part : {"PR_BODY", "PR_BODY_HTML"}) {
    if (!request.property.empty() && !EqualsNoCase(request.property, part)) continue;
    void* value = nullptr;
    uint32_t length = 0;
    if (GetCurrentItemBody(part, &value, &length) != kPropertyReturned || value == nullptr) continue;
    out << part << "\t-\t" << length - 1 << " bytes\n" << static_cast<const char*>(value);
    std::free(value);
    found = true;
  }
  if (!request.property.empty() && !found) {
    err << "twstore: the item has no property " << Named(request.property) << "\n";
    return kExitFailed;
  }
  return 0;
}

int SetItem(const SetRequest& request, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  std::string id;
  if (const int rc = OpenOneItem(request.item, folder, id, err); rc != 0) return rc;
  OpenedFolder opened(folder);
  if (!opened.Opened()) {
    err << "twstore: " << Shown(folder.directory) << " could not be opened\n";
    return kExitFailed;
  }
  if (SetCurrentItemProperty(id, request.item.property, request.value) != 1) {
    err << "twstore: " << Named(request.item.property) << " cannot be set on a mail item (use a PR_ name, e.g. "
        << "PR_TW_FLAGSTATUS)\n";
    return kExitRefused;
  }
  SaveFolder();
  out << "set " << Printable(request.item.property) << " of " << Printable(id) << "\n";
  return 0;
}

}  // namespace tw::cli
