#include "index/file/document_serialiser.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "frame/event_report.h"
#include "index/file/index_file_format.h"
#include "index/file/index_journal.h"
#include "index/file/serialisation_log.h"
#include "index/file/serialisation_settings.h"
#include "index/items/sorted_store_index.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"

namespace tw {
namespace {

constexpr const char* kRootName = "BASEELEMENT";
constexpr const char* kElementName = "ELEMENT";

constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154);
constexpr int32_t kCreateElementFailed = static_cast<int32_t>(0x80004005);

// Parse error codes: pugixml's status added to a base, then the checks that
// pugixml leaves out.
constexpr uint32_t kParseCodeBase = 0xC00CE500;
constexpr uint32_t kCodeInvalidCharacter = 0xC00CE520;
constexpr uint32_t kCodeDuplicateAttribute = 0xC00CE521;
constexpr uint32_t kCodeSecondRoot = 0xC00CE522;
constexpr uint32_t kCodeOutsideRoot = 0xC00CE523;
constexpr uint32_t kCodeMisplacedMarkup = 0xC00CE524;
constexpr uint32_t kCodeNoRoot = 0xC00CE525;
constexpr uint32_t kCodeTooLarge = 0xC00CE526;
constexpr uint32_t kCodeObjectNotFound = 0x800C0006;
constexpr uint32_t kFacilityWin32 = 0x80070000;

// Element places are 32-bit signed offsets.
constexpr size_t kMaxIndexFileBytes = static_cast<size_t>(std::numeric_limits<int32_t>::max());
constexpr size_t kNoPosition = std::numeric_limits<size_t>::max();
constexpr size_t kInlineBytes = 7;           // kept in the container's word anyway
constexpr size_t kLongestView = (1u << 15) - 1;  // longer values are copied by the container

// Fragment mode keeps text and further elements at the top level, which a
// document must not have, so that they can be refused below.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata | pugi::parse_fragment |
                                   pugi::parse_declaration | pugi::parse_doctype;

struct ParseFailure {
  uint32_t code = 0;
  size_t offset = kNoPosition;
  std::string description;
};

size_t Before(ptrdiff_t offset, size_t back) {
  const size_t at = offset > 0 ? static_cast<size_t>(offset) : 0;
  return at >= back ? at - back : 0;
}

// The top level holds one element, with only white space, comments and
// processing instructions around it, a declaration only at the very start
// and a document type only before the element.
std::optional<ParseFailure> CheckTopLevel(const pugi::xml_document& document, std::string_view bytes) {
  const size_t bom = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  bool seenRoot = false;
  for (const pugi::xml_node node : document.children()) {
    const ptrdiff_t at = node.offset_debug();
    switch (node.type()) {
      case pugi::node_element:
        if (seenRoot)
          return ParseFailure{kCodeSecondRoot, Before(at, 1), "Only one top level element is allowed in an XML document."};
        seenRoot = true;
        break;
      case pugi::node_pcdata: {
        const size_t text = std::string_view(node.value()).find_first_not_of(" \t\r\n");
        if (text != std::string_view::npos)
          return ParseFailure{kCodeOutsideRoot, Before(at, 0) + text, "Invalid at the top level of the document."};
        break;
      }
      case pugi::node_cdata:
        return ParseFailure{kCodeOutsideRoot, Before(at, 9), "Invalid at the top level of the document."};
      case pugi::node_declaration:
        if (Before(at, 2) != bom) return ParseFailure{kCodeMisplacedMarkup, Before(at, 2), "Invalid xml declaration."};
        break;
      case pugi::node_doctype:
        if (seenRoot)
          return ParseFailure{kCodeMisplacedMarkup, Before(at, 10), "Cannot have a DTD declaration outside of a DTD."};
        break;
      default:
        break;
    }
  }
  if (!seenRoot) return ParseFailure{kCodeNoRoot, bytes.size(), "XML document must have a top level element."};
  return std::nullopt;
}

bool HasDuplicateAttribute(pugi::xml_node element, std::unordered_set<std::string_view>& seen) {
  const pugi::xml_attribute first = element.first_attribute();
  if (!first || !first.next_attribute()) return false;
  // Few attributes are compared pairwise; many go through a set, so that a
  // hostile element cannot make this quadratic.
  size_t count = 0;
  for (pugi::xml_attribute a = first; a && count <= 8; a = a.next_attribute()) ++count;
  if (count <= 8) {
    for (pugi::xml_attribute a = first; a; a = a.next_attribute())
      for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
        if (std::string_view(a.name()) == b.name()) return true;
    return false;
  }
  seen.clear();
  for (pugi::xml_attribute a = first; a; a = a.next_attribute())
    if (!seen.insert(a.name()).second) return true;
  return false;
}

// Walks the tree without recursion: nesting depth is the file's choice.
std::optional<ParseFailure> CheckDuplicateAttributes(const pugi::xml_document& document) {
  std::unordered_set<std::string_view> seen;
  pugi::xml_node node = document.first_child();
  while (node) {
    if (node.type() == pugi::node_element && HasDuplicateAttribute(node, seen))
      return ParseFailure{kCodeDuplicateAttribute, Before(node.offset_debug(), 1), "Duplicate attribute."};
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && !node.next_sibling()) node = node.parent();
    if (node) node = node.next_sibling();
  }
  return std::nullopt;
}

std::optional<ParseFailure> ParseStrict(std::string_view bytes, pugi::xml_document& document) {
  if (const size_t bad = FirstInvalidUtf8(bytes); bad != std::string_view::npos)
    return ParseFailure{kCodeInvalidCharacter, bad, "An invalid character was found in text content."};
  const pugi::xml_parse_result result =
      document.load_buffer(bytes.empty() ? "" : bytes.data(), bytes.size(), kParseOptions, pugi::encoding_utf8);
  if (!result)
    return ParseFailure{kParseCodeBase + static_cast<uint32_t>(result.status), Before(result.offset, 0),
                        result.description()};
  if (auto failure = CheckTopLevel(document, bytes)) return failure;
  return CheckDuplicateAttributes(document);
}

void PrintParseError(const ParseFailure& failure, std::string_view bytes) {
  long line = 0;
  long column = 0;
  if (failure.offset != kNoPosition) {
    const size_t at = std::min(failure.offset, bytes.size());
    size_t lineStart = 0;
    line = 1;
    for (size_t i = 0; i < at; ++i)
      if (bytes[i] == '\n') {
        ++line;
        lineStart = i + 1;
      }
    column = 1;  // in characters, not bytes
    for (size_t i = lineStart; i < at; ++i)
      if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80) ++column;
  }
  char code[64];
  std::snprintf(code, sizeof code, "Code = 0x%x\n", failure.code);
  char source[96];
  std::snprintf(source, sizeof source, "Source = Line : %ld; Char : %ld\n", line, column);
  Print(std::string("Error:\n") + code + source + "Error Description = " + failure.description + "\n");
}

struct LoadedFile {
  std::string bytes;
  uint64_t lastWriteTime = 0;
};

std::optional<ParseFailure> ReadIndexFile(const std::string& path, LoadedFile& file) {
  platform::FileHandle handle = platform::OpenFile(path, platform::Access::Read, platform::Share::All,
                                                   platform::Disposition::OpenExisting);
  auto failed = [](const char* what) {
    const uint32_t error = platform::GetLastError();
    if (error == 2 || error == 3) return ParseFailure{kCodeObjectNotFound, kNoPosition,
                                                      "The system cannot locate the object specified."};
    return ParseFailure{kFacilityWin32 | (error & 0xFFFF), kNoPosition,
                        std::string(what) + " (error " + std::to_string(error) + ")."};
  };
  if (!handle.IsOpen()) return failed("The index file could not be opened");
  const int64_t size = handle.Size();
  if (size < 0) return failed("The index file could not be read");
  if (static_cast<uint64_t>(size) > kMaxIndexFileBytes)
    return ParseFailure{kCodeTooLarge, kNoPosition, "The index file is too large."};
  file.bytes.resize(static_cast<size_t>(size));
  size_t filled = 0;
  while (filled < file.bytes.size()) {
    size_t got = 0;
    if (!handle.Read(file.bytes.data() + filled, file.bytes.size() - filled, got))
      return failed("The index file could not be read");
    if (got == 0) break;  // shrunk meanwhile
    filled += got;
  }
  file.bytes.resize(filled);
  // From the handle, so that time and size belong to the bytes just read.
  if (!handle.LastWriteTime(file.lastWriteTime)) file.lastWriteTime = 0;
  return std::nullopt;
}

// Only the version-3 document model exists here; asking for another fails
// as creating a missing COM class would.
bool DocumentModelAvailable() {
  if (XmlVersion() == 3) return true;
  char text[64];
  std::snprintf(text, sizeof text, "[%d] Error creating DOM instance", kClassNotRegistered);
  ReportStoreEvent(kEventTypeInformation, "Tarnwick", nullptr, kStoreEventId, text);
  Print("Tarnwick Folder Indexing Library is not compatible with the version of XML installed on this computer\n");
  return false;
}

void ReportHookException(const char* hook, std::exception_ptr error) {
  try {
    uint32_t code = 0;
    std::string description = "Unknown exception";
    try {
      std::rethrow_exception(error);
    } catch (const ComError& e) {
      code = e.Code();
      description = e.Description();
    } catch (const std::exception& e) {
      description = e.what();
    } catch (...) {
    }
    char number[32];
    std::snprintf(number, sizeof number, "0x%08X", code);
    WriteSerialisationLog(std::string("MSXMLStoreIndexSerialiser::") + hook +
                          "::An exception occurred. Exception Nr. " + number + " Description: " + description + "\n");
  } catch (...) {
    // A report must not turn a failed load or save into a crash.
  }
}

// Loading ----------------------------------------------------------------------

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

// Looks each distinct name up in the process registry once per load.
class PropertyKeys {
 public:
  PropertyKey Of(std::string_view name) {
    const auto found = keys_.find(name);
    if (found != keys_.end()) return found->second;
    const PropertyKey key = PropertyRegistry::Process().Lookup(name);
    keys_.emplace(std::string(name), key);
    return key;
  }

 private:
  std::unordered_map<std::string, PropertyKey, NameHash, std::equal_to<>> keys_;
};

// Character references to UTF-16 surrogates (the save writes characters
// beyond U+FFFF as two) come out of pugixml as one 3-byte sequence each:
// a pair becomes the character's 4-byte form, a lone half U+FFFD.
std::string_view JoinSurrogates(std::string_view value, std::string& joined) {
  if (value.find('\xED') == std::string_view::npos) return value;
  auto half = [&](size_t at, unsigned char lo, unsigned char hi) {
    return at + 2 < value.size() && static_cast<unsigned char>(value[at]) == 0xED &&
           static_cast<unsigned char>(value[at + 1]) >= lo && static_cast<unsigned char>(value[at + 1]) <= hi &&
           (static_cast<unsigned char>(value[at + 2]) & 0xC0) == 0x80;
  };
  auto unit = [&](size_t at) {
    return 0xD000u | ((static_cast<unsigned char>(value[at + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(value[at + 2]) & 0x3Fu);
  };
  joined.clear();
  for (size_t i = 0; i < value.size();) {
    if (half(i, 0xA0, 0xAF) && half(i + 3, 0xB0, 0xBF)) {
      const uint32_t cp = 0x10000 + ((unit(i) - 0xD800) << 10) + (unit(i + 3) - 0xDC00);
      joined += static_cast<char>(0xF0 | (cp >> 18));
      joined += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      joined += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      joined += static_cast<char>(0x80 | (cp & 0x3F));
      i += 6;
    } else if (half(i, 0xA0, 0xBF)) {
      joined += "\xEF\xBF\xBD";
      i += 3;
    } else {
      joined += value[i++];
    }
  }
  return joined;
}

// Longer texts go to the index's arena and are referred to in place, which
// saves an allocation per property.
void SetValue(SORTEDSTOREINDEXTYPE& index, IndexItemPropertyContainer& item, PropertyKey key,
              std::string_view value, std::string& scratch) {
  value = JoinSurrogates(value, scratch);
  if (key.kind == PropertyKind::String && value.size() > kInlineBytes && value.size() <= kLongestView)
    item.SetTextView(key, index.loadedText.Keep(value));
  else
    item.SetText(key, value);
}

// The element's own text and CDATA, joined.
std::string_view ElementText(pugi::xml_node element, std::string& joined) {
  std::string_view single;
  int parts = 0;
  for (const pugi::xml_node child : element.children()) {
    if (child.type() != pugi::node_pcdata && child.type() != pugi::node_cdata) continue;
    const std::string_view part = child.value();
    if (++parts == 1) {
      single = part;
      continue;
    }
    if (parts == 2) joined.assign(single);
    joined += part;
  }
  return parts > 1 ? std::string_view(joined) : single;
}

// An ID that is no plain file name counts as missing: it must not reach
// outside the folder.
bool ItemFileExists(const std::string& folder, std::string_view id) {
  if (!platform::IsValidFileName(id) || id == "." || id == "..") return false;
  return platform::GetFileAttributes(InFolder(folder, std::string(id))) != platform::kInvalidAttributes;
}

void FillIndex(SORTEDSTOREINDEXTYPE& index, const std::string& folder, pugi::xml_node root, uint32_t verifyFiles) {
  index.Empty();
  const std::string_view lastUidText = root.attribute("LASTUID").value();
  const LastUid lastUid = ParseLastUidValue(lastUidText);
  // An old-format file cannot be updated in place; a damaged LASTUID is
  // written anew from the items' UIDs.
  if (lastUidText.empty() || lastUidText[0] != 'x' || lastUid.damaged) {
    index.keyFilter.clear();
    index.rewriteInFull = true;
  }
  index.SetLastUid(lastUid.value);

  PropertyKeys keys;
  std::string joined;
  std::string scratch;
  std::vector<std::unique_ptr<IndexItemPropertyContainer>> unnumbered;
  for (pugi::xml_node element = root.child(kElementName); element; element = element.next_sibling(kElementName)) {
    const pugi::xml_attribute id = element.attribute("ID");
    const pugi::xml_attribute uid = element.attribute("UID");
    if ((id && IsDeadValue(id.value())) || (uid && IsDeadValue(uid.value()))) continue;
    if (verifyFiles > 0 && !ItemFileExists(folder, id.value())) continue;
    auto item = std::make_unique<IndexItemPropertyContainer>();
    for (const pugi::xml_attribute attribute : element.attributes())
      SetValue(index, *item, keys.Of(attribute.name()), attribute.value(), scratch);
    for (const pugi::xml_node child : element.children()) {
      if (child.type() != pugi::node_element) continue;
      SetValue(index, *item, keys.Of(child.name()), ElementText(child, joined), scratch);
    }
    // Without a UID it is numbered after the rest, above every UID read.
    if (item->GetNumber(kKeyUid) == 0) unnumbered.push_back(std::move(item));
    else if (index.Insert(item.get())) item.release();  // else a duplicate ID: dropped
  }
  for (auto& item : unnumbered)
    if (index.Insert(item.get())) item.release();
  index.ResequenceByUid();
  index.SetLowestUid(0);
}

// Saving -----------------------------------------------------------------------


// IDs are written as they are, so one that would break the file (or come
// back changed) cannot be written.
bool IsWritableId(std::string_view id) {
  if (FirstInvalidUtf8(id) != std::string_view::npos) return false;
  return std::none_of(id.begin(), id.end(), [](char c) { return c == '"' || static_cast<unsigned char>(c) < 0x20; });
}

void ReportCreateElementFailure() {
  char text[96];
  std::snprintf(text, sizeof text, "MSXMLStoreIndexSerialiser::SaveToNode->createElement Failed: %ld\n",
                static_cast<long>(kCreateElementFailed));
  Print(text);
}

struct Placed {
  IndexItemPropertyContainer* item;
  size_t offset;
  size_t length;
};

std::vector<IndexItemPropertyContainer*> InFileOrder(const SORTEDSTOREINDEXTYPE& index, bool byId) {
  // The UID order holds every item, also one never given a sequence number.
  std::vector<IndexItemPropertyContainer*> items(index.ByUid().begin(), index.ByUid().end());
  if (byId) {
    std::vector<std::pair<std::string, IndexItemPropertyContainer*>> keyed;
    keyed.reserve(items.size());
    for (IndexItemPropertyContainer* item : items) keyed.emplace_back(item->GetText(kKeyId), item);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < keyed.size(); ++i) items[i] = keyed[i].second;
  }
  return items;
}

std::string BuildDocument(const SORTEDSTOREINDEXTYPE& index, bool oldFormat, std::vector<Placed>& placed) {
  const bool validUtf8 = IndexRequiresValidUtf8();
  std::vector<std::pair<std::string, PropertyKey>> properties = StoredProperties();
  std::vector<PropertyKey> unnamable;  // no element can carry these names
  std::erase_if(properties, [&](const auto& entry) {
    if (IsXmlName(entry.first)) return false;
    unnamable.push_back(entry.second);
    return true;
  });

  std::string out = oldFormat ? "<BASEELEMENT LASTUID=\"" + std::to_string(index.LastUid()) + "\">"
                              : FormatRootStart(index.LastUid());
  for (IndexItemPropertyContainer* item : InFileOrder(index, oldFormat)) {
    char scratch[16];
    if (item->Has(kKeyId) && !IsWritableId(item->TextView(kKeyId, scratch))) {
      ReportCreateElementFailure();
      placed.push_back({item, 0, 0});
      continue;
    }
    for (const PropertyKey key : unnamable)
      if (item->Has(key)) ReportCreateElementFailure();
    const size_t start = out.size();
    AppendElement(out, *item, properties, validUtf8, /*escapeId=*/true);
    placed.push_back({item, start, out.size() - start});
  }
  out += kRootEnd;
  if (out.size() > kMaxIndexFileBytes)
    throw ComError(0x8007000E, "MSXMLStoreIndexSerialiser", "The index file would be larger than 2 GiB.");
  return out;
}

ComError WriteError(const std::string& what, const std::string& path) {
  const uint32_t error = platform::GetLastError();
  return ComError(kFacilityWin32 | (error & 0xFFFF), "MSXMLStoreIndexSerialiser",
                  what + " " + path + " (error " + std::to_string(error) + ")");
}

// Written whole beside the target and renamed over it, so that a reader
// never sees half a file. Returns the last-write time.
uint64_t WriteReplacing(const std::string& target, std::string_view bytes) {
  const std::string temporary = target + ".tmp";
  uint64_t written = 0;
  {
    platform::FileHandle file = platform::OpenFile(temporary, platform::Access::Write, platform::Share::None,
                                                   platform::Disposition::CreateAlways);
    if (!file.IsOpen()) throw WriteError("Failed to create", temporary);
    if (!file.Write(bytes.data(), bytes.size())) {
      const ComError error = WriteError("Failed to write", temporary);
      file.Close();
      platform::DeleteFile(temporary);
      throw error;
    }
    if (!file.LastWriteTime(written)) written = 0;
  }
  if (!platform::ReplaceFile(temporary, target)) {
    const ComError error = WriteError("Failed to replace", target);
    platform::DeleteFile(temporary);
    throw error;
  }
  return written;
}

}  // namespace

bool LoadIndexDocument(const std::string& path, pugi::xml_document& document, uint64_t* lastWriteTime) {
  LoadedFile file;
  std::optional<ParseFailure> failure = ReadIndexFile(path, file);
  if (!failure) failure = ParseStrict(file.bytes, document);
  if (failure) {
    PrintParseError(*failure, file.bytes);
    return false;
  }
  // The document holds its own copy of the bytes.
  if (lastWriteTime != nullptr) *lastWriteTime = file.lastWriteTime;
  return true;
}

int32_t MSXMLStoreIndexSerialiser::DeserialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder,
                                                   uint32_t folderType, int32_t /*level*/, uint32_t verifyFiles,
                                                   bool /*quiet*/) {
  try {
    if (!DocumentModelAvailable()) return kLevelFailed;
    const std::string path = InFolder(folder, IndexFileName(folderType));
    CompletePendingJournal(path);
    pugi::xml_document document;
    uint64_t lastWriteTime = 0;
    if (!LoadIndexDocument(path, document, &lastWriteTime)) return kLevelFailed;
    const pugi::xml_node root = document.document_element();
    if (std::string_view(root.name()) != kRootName) {
      Print("Error: The document \"" + path +
            "\" was loaded, but the documentElement could not be accessed. There may be invalid permissions set "
            "on this object.\n");
      return kLevelFailed;
    }
    FillIndex(index, folder, root, verifyFiles);
    // Only the time: the document gives no element places, so a stream
    // save that follows sees a size change and writes the whole file.
    index.indexFileTime = lastWriteTime;
    index.indexFileSize = 0;
    return kLevelFull;
  } catch (...) {
    ReportHookException("DeserialiseHook", std::current_exception());
    try {
      index.Empty();  // no half-filled index
    } catch (...) {
    }
    return kLevelFailed;
  }
}

int32_t MSXMLStoreIndexSerialiser::SerialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder,
                                                 uint32_t folderType) {
  try {
    if (!DocumentModelAvailable()) return 0;
    if (index.LoadLevel() != kLevelFull || !index.keyFilter.empty()) {
      // The document is the whole file: written from part of the items, it
      // would drop the rest.
      WriteSerialisationLog("Failed to serialise index: " + InFolder(folder, IndexFileName(folderType)) +
                            ". The index was not fully loaded, so the whole file could not be written.\n");
      return 0;
    }
    const uint32_t attributes = platform::GetFileAttributes(folder);
    if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) == 0) return 0;

    // Applied before the file is replaced, never to the new file.
    const std::string path = InFolder(folder, IndexFileName(folderType));
    if (CompletePendingJournal(path) == JournalOutcome::Failed) {
      WriteSerialisationLog("Failed to serialise index: " + path +
                            ". The journal of an earlier save could not be completed.\n");
      return 0;
    }
    std::vector<Placed> placed;
    const std::string bytes = BuildDocument(index, oldFormat_, placed);
    const uint64_t written = WriteReplacing(path, bytes);

    // The places are exact, so element offsets kept for in-place updates
    // stay true; a file in ID order still has to be rewritten whole.
    for (const Placed& p : placed)
      p.item->SetFilePlace(static_cast<int32_t>(p.offset), static_cast<uint32_t>(p.length));
    if (oldFormat_) index.rewriteInFull = true;
    index.elementPlacesKnown = true;
    index.indexFileTime = written;
    index.indexFileSize = static_cast<uint32_t>(bytes.size());
    return 1;
  } catch (...) {
    ReportHookException("SerialiseHook", std::current_exception());
    return 0;
  }
}

pugi::xml_node FindElementById(const pugi::xml_document& document, std::string_view id) {
  // The ID goes into a quoted literal: a quote would end it early.
  if (id.find('"') != std::string_view::npos || id.find('\0') != std::string_view::npos) return {};
  std::string query = "BASEELEMENT/ELEMENT[@ID=\"";
  query.append(id);
  query += "\"]";
  try {
    return document.select_node(query.c_str()).node();
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace tw
