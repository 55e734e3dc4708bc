// Hostile `_index.xml` files through the document-model loader. Bit 0 of the
// first input byte chooses the old file format for saving; the rest is the
// file. Whatever the bytes, the loaded index is consistent with itself, and
// a full load followed by a save gives a file that loads again with the
// same IDs and UIDs. A save and load may change property values once (line
// ends, surrogates); the file of the second save must then stay as it is.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "index/file/document_serialiser.h"
#include "index/items/sorted_store_index.h"
#include "platform/event_log.h"
#include "platform/sleep.h"
#include "index_fuzz_support.h"

const char* const index_fuzz::kTargetName = "document_index_fuzz";

namespace {

using tw::SORTEDSTOREINDEXTYPE;
using Container = tw::IndexItemPropertyContainer;

using index_fuzz::Fail;
using index_fuzz::Folder;
using index_fuzz::Require;

uint32_t UidOf(const Container* item) { return static_cast<uint32_t>(item->GetNumber(tw::kKeyUid)); }

void CheckLoaded(SORTEDSTOREINDEXTYPE& index, int32_t reached) {
  Require(reached == tw::kLevelFailed || reached == tw::kLevelFull, "load level neither 0 nor 3");
  Require(index.LoadLevel() == reached, "stored load level differs from the one returned");
  Require(index.Count() == index.Sequence().size(), "item count differs from the sequence");
  const std::vector<Container*>& byUid = index.ByUid();
  for (size_t i = 1; i < byUid.size(); ++i) Require(UidOf(byUid[i - 1]) < UidOf(byUid[i]), "UIDs out of order");
  for (Container* item : index.Sequence()) {
    Require(item->Owner() == &index, "item without its owner");
    Require(index.FindById(item->GetText(tw::kKeyId)) == item, "ID lookup misses");
    Require(index.FindByUid(UidOf(item)) == item, "UID lookup misses");
  }
}

// A full load of the folder's file; no loader behind the index, so that a
// lookup never loads.
struct Loaded {
  tw::NullIndexLoader loader;
  SORTEDSTOREINDEXTYPE index;
  int32_t reached = tw::kLevelFailed;

  explicit Loaded(bool oldFormat) {
    index.SetLoader(&loader);
    reached = tw::MSXMLStoreIndexSerialiser(oldFormat).Deserialise(index, Folder().Path(), 0, tw::kLevelFull,
                                                                   {0, false, true});
    CheckLoaded(index, reached);
  }
};

// Saves and returns the file; every item written lies where it says.
std::string Save(SORTEDSTOREINDEXTYPE& index, bool oldFormat) {
  Require(tw::MSXMLStoreIndexSerialiser(oldFormat).SerialiseHook(index, Folder().Path(), 0) == 1, "save failed");
  const std::string file = Folder().Read();
  Require(index.indexFileSize == file.size(), "saved size differs from the file");
  for (const Container* item : index.Sequence()) {
    if (item->FileOffset() == 0) continue;  // an ID that cannot be written
    const auto offset = static_cast<size_t>(item->FileOffset());
    Require(item->FileOffset() > 0 && offset + item->ElementLength() <= file.size(), "element beyond the file");
    const std::string_view element = std::string_view(file).substr(offset, item->ElementLength());
    Require(element.starts_with("<ELEMENT") && element.ends_with("</ELEMENT>"), "saved item's place is no element");
  }
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A registry file that does not exist: every setting at its default.
  setenv("TW_REGISTRY_FILE", "/nonexistent/twstore-fuzz.reg", 1);
  tw::platform::SetEventSink([](const tw::platform::EventEntry&) {});
  tw::platform::SetSleepFunction([](uint32_t) {});
  // Parse errors are printed to standard output; libFuzzer reports on
  // standard error.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  Folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool oldFormat = (data[0] & 1) != 0;
  Folder().Reset(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

  Loaded first(oldFormat);
  if (first.reached != tw::kLevelFull) return 0;
  Save(first.index, oldFormat);

  Loaded second(oldFormat);
  Require(second.reached == tw::kLevelFull, "a saved index does not load");
  // An ID names the item's file: what is written comes back unchanged.
  for (const Container* item : first.index.Sequence()) {
    if (item->FileOffset() == 0) continue;
    const Container* again = second.index.FindByUid(UidOf(item));
    Require(again != nullptr && again->GetText(tw::kKeyId) == item->GetText(tw::kKeyId), "ID or UID changed by a save");
  }
  const std::string secondFile = Save(second.index, oldFormat);

  Loaded third(oldFormat);
  Require(third.reached == tw::kLevelFull, "a saved index does not load");
  Require(third.index.LastUid() == second.index.LastUid(), "LASTUID changed by a save");
  Require(Save(third.index, oldFormat) == secondFile, "a second save and load is no fixed point");
  return 0;
}
