// twstore show and twstore set: one item's properties through the item
// interface a service uses, by PR_ name (with the index name beside it) or
// by index name, and its body parts read from its message file; as lines or
// as one JSON object with typed values.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <vector>

#include "calendar/date_texts.h"
#include "commands.h"
#include "common/text.h"
#include "common/wide_text.h"
#include "folders/items/item_calls.h"
#include "folders/properties/item_property_access.h"
#include "folders/properties/property_map.h"
#include "index/items/sorted_store_index.h"
#include "index_values.h"
#include "json_writer.h"
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

// A handed-out value with the type JSON output keeps.
struct Value {
  enum class Kind { kText, kInteger, kWord, kReal, kTruth, kDate } kind = Kind::kText;
  std::string text;  // texts, and dates as the lines show them
  std::string utc;   // dates: ISO text in UTC ending in "Z"
  int64_t integer = 0;
  double real = 0;

  // As the lines print it.
  std::string AsLine() const {
    if (!text.empty()) return text;  // as the index or the interface gave it
    switch (kind) {
      case Kind::kInteger:
      case Kind::kWord:
      case Kind::kTruth: return std::to_string(integer);
      case Kind::kReal: return FormatText(64, "%.2f", real);
      default: return text;
    }
  }
  void Write(JsonWriter& json) const {
    switch (kind) {
      case Kind::kInteger:
      case Kind::kWord: json.Integer(integer); break;
      case Kind::kTruth: json.Bool(integer != 0); break;
      case Kind::kReal: json.Real(real); break;
      case Kind::kDate: json.Text(utc); break;
      default: json.Text(text);
    }
  }
};

// A handed-out value by its value type.
Value Describe(const void* value, uint32_t length, uint32_t valueType) {
  const auto* bytes = static_cast<const unsigned char*>(value);
  Value result;
  switch (valueType) {
    case kValueFileTime: {
      uint64_t fileTime;
      std::memcpy(&fileTime, bytes, sizeof fileTime);
      result.kind = Value::Kind::kDate;
      result.text = IsoTextFromFileTime(fileTime);
      result.utc = result.text + "Z";
      return result;
    }
    case kValueInteger: {
      int32_t n;
      std::memcpy(&n, bytes, sizeof n);
      result.kind = Value::Kind::kInteger;
      result.integer = n;
      return result;
    }
    case kValueDouble:
      std::memcpy(&result.real, bytes, sizeof result.real);
      result.kind = Value::Kind::kReal;
      return result;
    case kValueTruth:
    case kValueWord: {
      uint32_t n;
      std::memcpy(&n, bytes, sizeof n);
      result.kind = valueType == kValueTruth ? Value::Kind::kTruth : Value::Kind::kWord;
      result.integer = n;
      return result;
    }
    case kValueWideFrom8:
    case kValueWideText:
      result.text = FromWide(bytes, length);
      return result;
    default:
      result.text =
          std::string(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), length));
      return result;
  }
}

// A value the index keeps as text, with the type its index name says it
// has; the text stays as it is when it does not read as one.
Value Typed(const std::string& indexName, std::string text) {
  Value value;
  value.text = std::move(text);
  switch (KindOfIndexValue(indexName)) {
    case IndexValueKind::kNumber:
      if (const std::optional<uint64_t> n = NumberFromText(value.text); n && *n <= INT64_MAX) {
        value.kind = Value::Kind::kWord;
        value.integer = static_cast<int64_t>(*n);
      }
      break;
    case IndexValueKind::kLocalDate:
      value.utc = UtcFromLocalText(value.text);
      if (!value.utc.empty()) value.kind = Value::Kind::kDate;
      break;
    default: break;
  }
  return value;
}

// The current item's property by interface name; false when it has none.
bool ReadProperty(const std::string& name, uint32_t valueType, Value& read) {
  void* value = nullptr;
  uint32_t length = 0;
  if (GetCurrentItemProperty(name, &value, &length) != kPropertyReturned || value == nullptr) return false;
  read = Describe(value, length, valueType);
  std::free(value);
  return true;
}

// One property as show reports it; an index name the table does not cover
// has no PR_ name.
struct ShownProperty {
  std::string name;
  std::string indexName;
  Value value;
};

struct Body {
  std::string name;
  std::string text;
};

void PrintLines(const std::vector<ShownProperty>& properties, const std::vector<Body>& bodies, std::ostream& out) {
  for (const ShownProperty& p : properties)
    out << (p.name.empty() ? "-" : p.name) << "\t" << p.indexName << "\t" << Printable(p.value.AsLine()) << "\n";
  for (const Body& body : bodies) out << body.name << "\t-\t" << body.text.size() << " bytes\n" << body.text;
}

void PrintJson(const MailFolder& folder, const std::string& id, const std::vector<ShownProperty>& properties,
               const std::vector<Body>& bodies, std::ostream& out) {
  JsonWriter json;
  json.BeginObject().Key("postoffice").Text(folder.postoffice).Key("mailbox").Text(folder.mailbox);
  json.Key("folder").Text(folder.folder).Key("id").Text(id).Key("properties").BeginArray();
  for (const ShownProperty& p : properties) {
    json.BeginObject().Key("name");
    if (p.name.empty())
      json.Null();
    else
      json.Text(p.name);
    json.Key("index_name").Text(p.indexName).Key("value");
    p.value.Write(json);
    json.EndObject();
  }
  json.EndArray().Key("body").BeginArray();
  for (const Body& body : bodies)
    json.BeginObject().Key("name").Text(body.name).Key("bytes").Number(body.text.size()).Key("text").Text(body.text)
        .EndObject();
  json.EndArray().EndObject();
  out << json.Result() << "\n";
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
    err << "twstore: --ids must name exactly one item for this command\n";
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
    err << "twstore: item " << Quoted(id) << " could not be opened in folder " << Quoted(folder.folder) << " (in "
        << Shown(folder.directory) << ")\n";
    return kExitFailed;
  }
  std::set<std::string> shownIndexNames;
  std::vector<ShownProperty> properties;
  std::vector<Body> bodies;
  const bool one = !request.property.empty();
  for (PropertyTable table : {CommonPropertyTable(), MailPropertyTable()}) {
    for (const PropertyMapping& row : table) {
      const std::string indexName(StoredName(row.descriptor.indexName));
      shownIndexNames.insert(indexName);
      if (one && !properties.empty()) continue;
      if (one && !EqualsNoCase(request.property, row.name) && !EqualsNoCase(request.property, indexName)) continue;
      Value value;
      if (!ReadProperty(std::string(row.name), row.descriptor.valueType, value)) continue;
      if (value.kind == Value::Kind::kText) value = Typed(indexName, std::move(value.text));
      properties.push_back({std::string(row.name), indexName, std::move(value)});
    }
  }
  // What the index holds beyond the interface's names, by index name.
  FolderIndex index(folder);
  if ((!one || properties.empty()) && index.Open(kReadAsItIs)) {
    if (const IndexItemPropertyContainer* item = index.Index().FindById(id)) {
      for (const auto& [name, value] : item->GetAll()) {
        if (shownIndexNames.count(name) != 0) continue;
        if (one && !EqualsNoCase(request.property, name)) continue;
        properties.push_back({std::string(), name, Typed(name, value)});
      }
    }
  }
  // The body parts, as the message file holds them.
  for (const char* part : {"PR_BODY", "PR_BODY_HTML"}) {
    if ((one && !properties.empty()) || (one && !EqualsNoCase(request.property, part))) continue;
    void* value = nullptr;
    uint32_t length = 0;
    if (GetCurrentItemBody(part, &value, &length) != kPropertyReturned || value == nullptr) continue;
    bodies.push_back({part, std::string(static_cast<const char*>(value), length > 0 ? length - 1 : 0)});
    std::free(value);
  }
  if (one && properties.empty() && bodies.empty()) {
    err << "twstore: item " << Quoted(id) << " has no property " << Quoted(request.property) << "\n";
    return kExitFailed;
  }
  if (request.target.json)
    PrintJson(folder, id, properties, bodies, out);
  else
    PrintLines(properties, bodies, out);
  return out.good() ? 0 : kExitFailed;
}

int SetItem(const SetRequest& request, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  std::string id;
  if (const int rc = OpenOneItem(request.item, folder, id, err); rc != 0) return rc;
  OpenedFolder opened(folder);
  if (!opened.Opened()) {
    err << "twstore: folder " << Quoted(folder.folder) << " could not be opened (in " << Shown(folder.directory)
        << ")\n";
    return kExitFailed;
  }
  if (SetCurrentItemProperty(id, request.item.property, request.value) != 1) {
    err << "twstore: property " << Quoted(request.item.property)
        << " cannot be set on a mail item (use a PR_ name, e.g. PR_TW_FLAGSTATUS)\n";
    return kExitRefused;
  }
  SaveFolder();
  out << "set " << Printable(request.item.property) << " of " << Printable(id) << "\n";
  return 0;
}

}  // namespace tw::cli
