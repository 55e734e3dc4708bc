#include "index/file/stream_index_parser.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "common/file_management.h"
#include "index/file/chunk_reader.h"
#include "index/file/element_scan.h"
#include "index/file/index_file_format.h"
#include "index/file/serialisation_log.h"
#include "index/file/serialisation_settings.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"
#include "platform/files.h"

namespace tw {
namespace {

constexpr size_t kMaxTagKept = 64 * 1024;
constexpr size_t kMaxAttributePart = 1023;
constexpr size_t kRootTextKept = 100;

struct Attribute {
  std::string_view name;
  std::string_view value;
};

// `NAME a="1" b="2"`, possibly ending in '/'. False when a pair is broken.
bool ParseAttributes(std::string_view tag, std::vector<Attribute>& attributes, bool& selfClosing) {
  attributes.clear();
  size_t at = tag.find(' ');
  selfClosing = !tag.empty() && tag.back() == '/';
  if (selfClosing) tag.remove_suffix(1);
  while (at != std::string_view::npos && at < tag.size()) {
    while (at < tag.size() && (tag[at] == ' ' || tag[at] == '\t' || tag[at] == '\r' || tag[at] == '\n')) ++at;
    if (at >= tag.size()) break;
    const size_t equals = tag.find('=', at);
    if (equals == std::string_view::npos || equals + 1 >= tag.size() || tag[equals + 1] != '"') return false;
    const size_t close = tag.find('"', equals + 2);
    if (close == std::string_view::npos) return false;
    const std::string_view name = tag.substr(at, equals - at);
    const std::string_view value = tag.substr(equals + 2, close - equals - 2);
    if (name.empty() || name.size() > kMaxAttributePart || value.size() > kMaxAttributePart ||
        !IsWritablePropertyName(name))
      return false;
    attributes.push_back({name, value});
    at = close + 1;
  }
  return true;
}

std::string_view TagName(std::string_view tag) {
  const size_t end = tag.find_first_of(" \t\r\n/");
  return tag.substr(0, end);
}

class Parser {
 public:
  Parser(SORTEDSTOREINDEXTYPE& index, platform::FileHandle& file, const StreamParseRequest& request)
      : index_(index), reader_(file), request_(request) {
    for (size_t start = 0; start <= index.keyFilter.size();) {
      const size_t comma = std::min(index.keyFilter.find(',', start), index.keyFilter.size());
      if (comma > start) filter_.emplace(index.keyFilter.substr(start, comma - start));
      start = comma + 1;
    }
    filterOn_ = !filter_.empty();
    threshold_ = GarbageCollectionThreshold();
  }

  ~Parser() {
    delete current_;
    for (IndexItemPropertyContainer* item : unnumbered_) delete item;
  }

  StreamParseResult Run();

 private:
  bool Fail(std::string problem) {
    if (result_.problem.empty()) result_.problem = std::move(problem);
    result_.outcome = StreamParseOutcome::Malformed;
    return false;
  }
  bool OnTag(std::string_view tag, int64_t start, int64_t end);
  bool OnRootStart(std::string_view tag);
  bool OnRootEnd();
  bool OnElementStart(std::string_view tag, int64_t start, int64_t end);
  bool OnElementEnd(int64_t end);
  bool OnProperty(std::string_view tag, bool isEnd);
  enum class FastRead { Read, NotRead, Stop };
  // The next element in the writer's exact form, read whole from the
  // buffer; NotRead leaves it to the tag-by-tag reading, Stop is a handler's
  // false.
  FastRead ReadElementFast();
  // The key of the child `index` of the element just scanned; a slot of -1
  // for the children that are not read.
  PropertyKey KeyForChild(size_t index, const ScannedProperty& child);
  StreamParseResult Stopped();
  bool KeepsElement(std::string_view id);
  // The file cannot be updated in place: the next save writes it anew. A
  // partial load stops here and is done again in full.
  bool RequireFullRewrite();
  PropertyKey KeyFor(std::string_view name);
  // Element texts are unescaped; attribute values are taken as written.
  void SetValue(IndexItemPropertyContainer& item, PropertyKey key, std::string_view raw, bool unescape);

  SORTEDSTOREINDEXTYPE& index_;
  ChunkReader reader_;
  const StreamParseRequest& request_;
  StreamParseResult result_;
  std::unordered_set<std::string> filter_;
  bool filterOn_ = false;
  uint32_t threshold_ = 500;
  bool rootStart_ = false;
  bool rootEnd_ = false;
  bool oldFormat_ = false;
  bool inElement_ = false;  // an element is open (kept or skipped)
  IndexItemPropertyContainer* current_ = nullptr;  // the kept element being read
  // Kept elements without a UID: numbered once the whole file is read, above
  // every UID in it, so that none takes a UID a later element holds.
  std::vector<IndexItemPropertyContainer*> unnumbered_;
  int64_t elementStart_ = 0;
  uint32_t previousUid_ = 0;
  bool propertyOpen_ = false;
  std::string propertyName_;
  std::string rootText_;
  std::string value_;
  std::string decoded_;
  bool reloadInFull_ = false;
  int64_t rootStartOffset_ = -1;
  std::vector<Attribute> attributes_;
  ScannedElement scanned_;
  std::vector<PropertyKey> scannedKeys_;
  bool reserved_ = false;
  const PropertyKey seqKey_ = PropertyRegistry::Process().Lookup(kPropSeq);
  std::vector<std::pair<std::string, PropertyKey>> keys_;
  size_t nextKey_ = 0;
};

PropertyKey Parser::KeyFor(std::string_view name) {
  // Elements repeat the same names in the same order: try the next one first.
  if (nextKey_ < keys_.size() && keys_[nextKey_].first == name) return keys_[nextKey_++].second;
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i].first == name) {
      nextKey_ = i + 1;
      return keys_[i].second;
    }
  }
  const PropertyKey key = PropertyRegistry::Process().Lookup(name);
  keys_.emplace_back(std::string(name), key);
  nextKey_ = keys_.size();
  return key;
}

bool Parser::RequireFullRewrite() {
  index_.rewriteInFull = true;
  if (request_.level == kLevelFull && !filterOn_) return true;
  reloadInFull_ = true;
  return false;
}

void Parser::SetValue(IndexItemPropertyContainer& item, PropertyKey key, std::string_view raw, bool unescape) {
  if (unescape && raw.find('&') != std::string_view::npos) {
    UnescapeInto(raw, decoded_);
    raw = decoded_;
  }
  item.SetLoaded(key, raw, index_.loadedText);
}

bool Parser::KeepsElement(std::string_view id) {
  if (filterOn_) return filter_.count(std::string(id)) != 0;
  if (request_.verifyFiles == 0) return true;
  return platform::IsValidFileName(id) && FileExists(InFolder(request_.folder, std::string(id)));
}

bool Parser::OnRootStart(std::string_view tag) {
  if (rootStart_) return Fail("Encountered root element start tag after already encountering a root element start tag");
  rootStart_ = true;
  const LastUid lastUid = ParseLastUid(tag);
  if (lastUid.found) index_.SetLastUid(lastUid.value);
  // The items' UIDs and the folder's counters stand in for a damaged one.
  if (lastUid.damaged)
    WriteSerialisationLog("Damaged LASTUID ignored in the index of " + request_.folder + ".\n");
  // A save updates LASTUID in place only in the exact 33-byte tag; any
  // other header is read like the old format and written anew.
  const std::string canonical = FormatRootStart(lastUid.value);
  const bool exact = tag == std::string_view(canonical).substr(1, canonical.size() - 2) && rootStartOffset_ == 0;
  if (!lastUid.found || !lastUid.newFormat || !exact) {
    oldFormat_ = true;
    filterOn_ = false;
    index_.keyFilter.clear();
    if (!RequireFullRewrite()) return false;  // keys alone cannot be written anew
  }
  if (tag.find('/') != std::string_view::npos) {
    rootEnd_ = true;
    filterOn_ = false;
    index_.rewriteInFull = true;
  }
  return true;
}

bool Parser::OnRootEnd() {
  if (!rootStart_) return Fail("Encountered root element end tag before root element start tag");
  if (rootEnd_) return Fail("Encountered root element end tag after already encountering a root element end tag");
  rootEnd_ = true;
  return true;
}

bool Parser::OnElementStart(std::string_view tag, int64_t start, int64_t end) {
  if (propertyOpen_) return Fail("Encountered element start tag nested within a property (" + propertyName_ + ")");
  if (inElement_) return Fail("Encountered element start tag nested within another element");
  bool selfClosing = false;
  if (!ParseAttributes(tag, attributes_, selfClosing))
    return Fail("Unable to parse ID attribute, Tag=[" + std::string(tag) + "]");
  std::string_view id, uidText;
  bool hasId = false;
  for (const Attribute& a : attributes_) {
    if (a.name == kPropId) id = a.value, hasId = true;
    if (a.name == kPropUid) uidText = a.value;
  }
  if (!hasId) return Fail("Encountered element start tag without an ID");
  inElement_ = true;
  elementStart_ = start;
  if (IsDeadValue(id) || IsDeadValue(uidText)) {
    ++result_.deadElements;
  } else {
    // A UID not written as the writers write it (a damaged digit, "2#", "-5",
    // a number past 32 bits) would give the item another message's UID or
    // one wrapped round: it gets a new one.
    uint32_t uid = 0;
    const bool uidReadable = ParseUidText(uidText, uid);
    if (!oldFormat_ && uidReadable && uid < previousUid_)
      return Fail("Encountered element with UID out of order. This UID=" + std::to_string(uid) +
                  ", Previous UID=" + std::to_string(previousUid_) +
                  ", Largest/Last UID=" + std::to_string(index_.LastUid()));
    if (uidReadable) previousUid_ = uid;
    // Removal marks an element dead in place by its exact layout; an element
    // written otherwise (or given its UID only now) needs the file anew.
    const bool exactLayout = attributes_.size() == 2 && attributes_[0].name == kPropId &&
                             uidReadable &&
                             tag == "ELEMENT ID=\"" + std::string(id) + "\" UID=\"" + std::string(uidText) + "\"";
    if (!oldFormat_ && !exactLayout && !RequireFullRewrite()) return false;
    if (KeepsElement(id)) {
      current_ = new IndexItemPropertyContainer();
      for (const Attribute& a : attributes_)
        if (a.name != kPropUid || uidReadable) SetValue(*current_, KeyFor(a.name), a.value, false);
    }
  }
  return selfClosing ? OnElementEnd(end) : true;
}

bool Parser::OnElementEnd(int64_t end) {
  if (!inElement_) return Fail("Encountered element end tag before encountering a matching element start tag");
  inElement_ = false;
  propertyOpen_ = false;
  IndexItemPropertyContainer* item = current_;
  current_ = nullptr;
  if (item == nullptr) return true;
  item->SetFilePlace(static_cast<int32_t>(elementStart_), static_cast<uint32_t>(end - elementStart_));
  if (item->GetNumber(kKeyUid) == 0) {
    unnumbered_.push_back(item);
    return true;
  }
  if (index_.InsertAtEnd(item)) return true;
  // Refused (its ID or UID is taken): the element must not stay in the file.
  delete item;
  return oldFormat_ || RequireFullRewrite();
}

bool Parser::OnProperty(std::string_view tag, bool isEnd) {
  if (request_.level == kLevelKeys) return true;
  const std::string_view name = TagName(isEnd ? tag.substr(1) : tag);
  if (!rootStart_)
    return Fail("Encountered property tag (" + std::string(name) + ") before encountering a root element start tag");
  if (rootEnd_)
    return Fail("Encountered property tag (" + std::string(name) +
                ") after already encountering a root element end tag");
  if (!inElement_) return Fail("Encountered property tag (" + std::string(name) + ") outside an element");
  if (!isEnd) {
    if (propertyOpen_)
      return Fail("Encountered property start tag (" + std::string(name) + ") nested within another property (" +
                  propertyName_ + ")");
    if (!tag.empty() && tag.back() == '/') return true;  // an empty value
    propertyOpen_ = true;
    propertyName_.assign(name);
    return true;
  }
  if (!propertyOpen_ || name != propertyName_)
    return Fail("Encountered property end tag (" + std::string(name) +
                ") that does not match previous property start tag (" + propertyName_ + ")");
  propertyOpen_ = false;
  // The keys come from the attributes; children of these names are not read.
  if (name == kPropId || name == kPropUid || name == kPropSeq || name == "IDX") propertyName_.clear();
  return true;
}

Parser::FastRead Parser::ReadElementFast() {
  for (;;) {
    const ElementScan scan = ScanElement(reader_.Window(), request_.level != kLevelKeys, scanned_);
    if (scan == ElementScan::Element) break;
    if (scan == ElementScan::Other || !reader_.ReadMore()) return FastRead::NotRead;
  }
  // Dead elements, damaged UIDs and UIDs out of order are handled, and
  // reported, by the tag-by-tag reading.
  uint32_t uid = 0;
  if (IsDeadValue(scanned_.id) || IsDeadValue(scanned_.uid) || !ParseUidText(scanned_.uid, uid) ||
      (!oldFormat_ && uid < previousUid_))
    return FastRead::NotRead;
  previousUid_ = uid;
  const int64_t start = reader_.Offset();
  reader_.Advance(scanned_.length);  // the views stay valid until the next read
  if (!reserved_) {
    // Elements of one file are alike in length: the first tells about how
    // many there are, so the orders need not grow (and re-file) on the way.
    // A first element far shorter than the rest costs at most some 30 bytes
    // for every 35 of the file (the shortest element).
    reserved_ = true;
    if (!filterOn_) index_.Reserve(static_cast<size_t>(request_.fileLength) / scanned_.length + 1);
  }
  if (!KeepsElement(scanned_.id)) return FastRead::Read;
  index_.PrefetchId(scanned_.id);
  // The slots this item will fill (SEQ too, once it is in the index) all
  // come with it, in the arena.
  const PropertyKey idKey = KeyFor(kPropId), uidKey = KeyFor(kPropUid);
  int32_t topSlot = std::max({idKey.slot, uidKey.slot, seqKey_.slot});
  scannedKeys_.clear();
  for (size_t i = 0; i < scanned_.properties.size(); ++i) {
    const ScannedProperty& property = scanned_.properties[i];
    scannedKeys_.push_back(KeyForChild(i, property));
    topSlot = std::max(topSlot, scannedKeys_.back().slot);
  }
  auto* item = IndexItemPropertyContainer::NewIn(index_.loadedText, static_cast<uint32_t>(topSlot + 1));
  SetValue(*item, idKey, scanned_.id, false);
  SetValue(*item, uidKey, scanned_.uid, false);
  for (size_t i = 0; i < scannedKeys_.size(); ++i)
    if (scannedKeys_[i].slot >= 0)
      SetValue(*item, scannedKeys_[i], scanned_.properties[i].text, scanned_.properties[i].escaped);
  item->SetFilePlace(static_cast<int32_t>(start), static_cast<uint32_t>(scanned_.length));
  if (index_.InsertAtEnd(item)) return FastRead::Read;
  delete item;
  return oldFormat_ || RequireFullRewrite() ? FastRead::Read : FastRead::Stop;
}

PropertyKey Parser::KeyForChild(size_t index, const ScannedProperty& child) {
  // A child of the same name at the same place as before: its key as then.
  PropertyKey& last = scanned_.lastKeys[index];
  if (child.known && last.slot >= 0) return last;
  const std::string_view name = child.name;
  // The keys come from the attributes; children of these names are not read.
  if (name == kPropId || name == kPropUid || name == kPropSeq || name == "IDX") return PropertyKey{};
  last = KeyFor(name);
  return last;
}

StreamParseResult Parser::Stopped() {
  if (!reloadInFull_) return result_;
  index_.keyFilter.clear();
  index_.Empty();
  result_.outcome = StreamParseOutcome::ReloadInFull;
  return result_;
}

bool Parser::OnTag(std::string_view tag, int64_t start, int64_t end) {
  const bool isEnd = !tag.empty() && tag[0] == '/';
  const std::string_view name = isEnd ? tag.substr(1) : tag;
  if (name.starts_with("BASEELEMENT")) {
    if (!isEnd && rootStartOffset_ < 0) rootStartOffset_ = start;
    return isEnd ? OnRootEnd() : OnRootStart(tag);
  }
  if (name.starts_with("ELEMENT")) {
    if (!rootStart_) return Fail("Encountered element tag before encountering a root element start tag");
    if (rootEnd_) return Fail("Encountered element tag after already encountering a root element end tag");
    return isEnd ? OnElementEnd(end) : OnElementStart(tag, start, end);
  }
  return OnProperty(tag, isEnd);
}

StreamParseResult Parser::Run() {
  std::string_view text, tag;
  int64_t start = 0, end = 0;
  for (;;) {
    if (rootStart_ && !rootEnd_ && !inElement_) {
      const FastRead fast = ReadElementFast();
      if (fast == FastRead::Read) continue;
      if (fast == FastRead::Stop) return Stopped();
    }
    const bool reading = propertyOpen_ && current_ != nullptr;
    const size_t keep = reading ? SIZE_MAX : !rootStart_ ? kRootTextKept - rootText_.size() : 0;
    const bool more = reader_.TextUntilTag(keep, text);
    if (!reading && !rootStart_) rootText_.append(text);
    if (!more) break;
    if (reading) value_.assign(text);  // the tag read below may reuse the buffer
    if (!reader_.Tag(kMaxTagKept, tag, start, end)) break;
    if (!OnTag(tag, start, end)) return Stopped();
    if (reading && !propertyOpen_ && current_ != nullptr && !propertyName_.empty())
      SetValue(*current_, KeyFor(propertyName_), value_, true);
    if (result_.deadElements >= threshold_ && threshold_ > 0) {
      if (request_.level == kLevelFull && !filterOn_) continue;
      index_.rewriteInFull = true;
      index_.keyFilter.clear();
      index_.Empty();
      result_.outcome = StreamParseOutcome::ReloadInFull;
      return result_;
    }
  }
  if (!rootStart_) {
    Fail("Did not find root element start tag [" + std::to_string(request_.fileLength) + ":" + rootText_ + "]");
    return result_;
  }
  if (!rootEnd_) {
    Fail("Did not find root element end tag");
    return result_;
  }
  for (IndexItemPropertyContainer* item : unnumbered_)
    if (!index_.InsertAtEnd(item)) delete item;
  unnumbered_.clear();
  if (oldFormat_) index_.ResequenceByUid();  // old files are in ID order
  if (result_.deadElements >= threshold_ && threshold_ > 0) {
    index_.rewriteInFull = true;
    index_.keyFilter.clear();
  }
  return result_;
}

}  // namespace

StreamParseResult DeserialiseKeysOrBetter(SORTEDSTOREINDEXTYPE& index, platform::FileHandle& file,
                                          const StreamParseRequest& request) {
  Parser parser(index, file, request);
  return parser.Run();
}

}  // namespace tw
