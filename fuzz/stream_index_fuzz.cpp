// Hostile `_index.xml` files through the stream loader. The first input byte
// chooses how to load (level, key filter) and what to do after a full load;
// the rest is the file. Whatever the bytes, the loaded index is consistent
// with itself and with the file, and a full load followed by a save gives a
// file that loads again with the same items:
//   bits 0-1  level asked: 1, 2, 3, 1
//   bit 2     a key filter of the IDs that bits 5-7 pick among the file's
//   bit 3     after a full load, remove or change one item (bits 4-7) and
//             save in place instead of writing the whole file
// A file that does not load gives what could be salvaged from it, which is
// then written whole and must load again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "index/file/index_file_format.h"
#include "index/file/serialisation_settings.h"
#include "index/items/sorted_store_index.h"
#include "index/file/stream_serialiser.h"
#include "platform/event_log.h"
#include "platform/sleep.h"
#include "index_fuzz_support.h"

const char* const index_fuzz::kTargetName = "stream_index_fuzz";

namespace {

using tw::SORTEDSTOREINDEXTYPE;
using Container = tw::IndexItemPropertyContainer;
using Values = std::map<std::string, std::string>;

using index_fuzz::Fail;
using index_fuzz::Folder;
using index_fuzz::Require;

uint32_t UidOf(const Container* item) { return static_cast<uint32_t>(item->GetNumber(tw::kKeyUid)); }

// Loads quietly; no loader behind the index, so that a lookup never loads.
int32_t Load(SORTEDSTOREINDEXTYPE& index, tw::NullIndexLoader& loader, int32_t level) {
  index.SetLoader(&loader);
  return tw::StreamXMLStoreIndexSerialiser().Deserialise(index, Folder().Path(), 0, level, {0, false, true});
}

void CheckLoaded(SORTEDSTOREINDEXTYPE& index, int32_t reached, size_t fileSize) {
  Require(reached >= tw::kLevelFailed && reached <= tw::kLevelFull, "load level out of range");
  Require(index.LoadLevel() == reached, "stored load level differs from the one returned");
  Require(index.Count() == index.Sequence().size(), "item count differs from the sequence");
  const std::vector<Container*>& byUid = index.ByUid();
  for (size_t i = 1; i < byUid.size(); ++i) Require(UidOf(byUid[i - 1]) < UidOf(byUid[i]), "UIDs out of order");
  for (Container* item : index.Sequence()) {
    Require(item->Owner() == &index, "item without its owner");
    if (item->FileOffset() != 0) {
      Require(item->FileOffset() > 0, "negative element offset");
      Require(static_cast<uint64_t>(item->FileOffset()) + item->ElementLength() <= fileSize, "element beyond the file");
    }
    if (reached >= tw::kLevelKeys) Require(index.FindById(item->GetText(tw::kKeyId)) == item, "ID lookup misses");
    Require(index.FindByUid(UidOf(item)) == item, "UID lookup misses");
  }
}

// Every written item's place holds its element.
void CheckPlaces(const SORTEDSTOREINDEXTYPE& index, const std::string& file, bool exact) {
  for (const Container* item : index.ByUid()) {
    const auto offset = static_cast<size_t>(item->FileOffset());
    Require(item->FileOffset() > 0 && offset + item->ElementLength() <= file.size(), "saved item without a place");
    const std::string_view element = std::string_view(file).substr(offset, item->ElementLength());
    Require(element.starts_with("<ELEMENT"), "saved item's place is no element start");
    Require(element.ends_with(exact ? "</ELEMENT>" : ">"), "saved item's place is no element end");
  }
}

Values Stored(const Container& item) {
  Values values = item.GetAll();
  values.erase(std::string(tw::kPropSeq));  // numbered on load, never written
  values.erase("IDX");
  return values;
}

// What a load of the written element gives back: property values escaped
// (UTF-8 repaired first) and unescaped again; ID and UID unchanged, since
// the ID names the item's file; properties whose names are no XML names
// left out.
Values Rewritten(const Values& values) {
  const bool validUtf8 = tw::IndexRequiresValidUtf8();
  Values out;
  for (const auto& [name, value] : values) {
    if (!tw::IsXmlName(name)) continue;  // no XML parser reads it: not written
    if (name == tw::kPropUid || name == tw::kPropId) {
      out.emplace(name, value);
    } else {
      std::string escaped;
      tw::AppendEscaped(escaped, value, validUtf8);
      out.emplace(name, tw::Unescape(escaped));
    }
  }
  return out;
}

struct Expected {
  uint32_t uid;
  Values kept;       // as loaded: the element was left in place
  Values rewritten;  // as written anew
};

std::vector<Expected> ExpectedItems(const SORTEDSTOREINDEXTYPE& index) {
  std::vector<Expected> items;
  for (const Container* item : index.ByUid()) {
    Values values = Stored(*item);
    Values rewritten = Rewritten(values);
    items.push_back({UidOf(item), std::move(values), std::move(rewritten)});
  }
  return items;
}

// Reloads the saved file in full and compares with what was saved.
void CheckReload(const std::vector<Expected>& expected, uint32_t lastUid, bool inPlace) {
  const std::string file = Folder().Read();
  tw::NullIndexLoader loader;
  SORTEDSTOREINDEXTYPE reloaded;
  const int32_t reached = Load(reloaded, loader, tw::kLevelFull);
  Require(reached == tw::kLevelFull, "a saved index does not load");
  CheckLoaded(reloaded, reached, file.size());
  Require(reloaded.LastUid() == lastUid, "LASTUID changed by a save");
  const std::vector<Container*>& items = reloaded.ByUid();
  Require(items.size() == expected.size(), "item count changed by a save");
  for (size_t i = 0; i < items.size(); ++i) {
    Require(UidOf(items[i]) == expected[i].uid, "UID changed by a save");
    const Values values = Stored(*items[i]);
    Require(values == expected[i].rewritten || (inPlace && values == expected[i].kept), "item changed by a save");
  }
}

void SaveWhole(SORTEDSTOREINDEXTYPE& index) {
  index.rewriteInFull = true;
  const std::vector<Expected> expected = ExpectedItems(index);
  Require(tw::StreamXMLStoreIndexSerialiser().SerialiseHook(index, Folder().Path(), 0) == 1, "save failed");
  CheckPlaces(index, Folder().Read(), true);
  CheckReload(expected, index.LastUid(), false);
}

void SaveInPlace(SORTEDSTOREINDEXTYPE& index, unsigned choice) {
  if (index.Count() > 0) {
    Container* item = index.ByUid()[(choice >> 1) % index.Count()];
    if (choice & 1)
      index.RemoveById(item->GetText(tw::kKeyId));
    else
      item->SetText(tw::kPropFlagStatus, "\\SEEN \\FLAGGED");
  }
  const std::vector<Expected> expected = ExpectedItems(index);
  Require(tw::StreamXMLStoreIndexSerialiser().SerialiseHook(index, Folder().Path(), 0) == 1, "save failed");
  CheckPlaces(index, Folder().Read(), false);
  CheckReload(expected, index.LastUid(), true);
}

// The IDs that `ID="` introduces, each taken when its bit of `pattern` (by
// position, cyclically) is set.
std::string PickedIds(std::string_view file, unsigned pattern) {
  std::string filter;
  size_t count = 0;
  for (size_t at = file.find("ID=\""); at != std::string_view::npos; at = file.find("ID=\"", at + 1)) {
    const size_t start = at + 4;
    const size_t end = file.find('"', start);
    if (end == std::string_view::npos) break;
    if (pattern & (1u << (count++ % 3))) {
      if (!filter.empty()) filter += ',';
      filter.append(file.substr(start, end - start));
    }
  }
  return filter.empty() ? "?" : filter;  // a filter that keeps nothing
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A registry file that does not exist: every setting at its default.
  setenv("TW_REGISTRY_FILE", "/nonexistent/twstore-fuzz.reg", 1);
  tw::platform::SetEventSink([](const tw::platform::EventEntry&) {});
  tw::platform::SetSleepFunction([](uint32_t) {});  // retries must not stall the run
  Folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned control = data[0];
  const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);
  Folder().Reset(file);

  static constexpr int32_t kLevels[] = {tw::kLevelHeader, tw::kLevelKeys, tw::kLevelFull, tw::kLevelHeader};
  tw::NullIndexLoader loader;
  SORTEDSTOREINDEXTYPE index;
  if (control & 4) index.keyFilter = PickedIds(file, control >> 5);
  const int32_t reached = Load(index, loader, kLevels[control & 3]);
  CheckLoaded(index, reached, file.size());
  if (reached == tw::kLevelFailed) {
    // What was salvaged from a damaged file is written whole and loads again.
    index.SetLoadLevel(tw::kLevelFull);
    SaveWhole(index);
    return 0;
  }
  if (reached != tw::kLevelFull || !index.keyFilter.empty()) return 0;

  if (control & 8)
    SaveInPlace(index, control >> 4);
  else
    SaveWhole(index);
  return 0;
}
