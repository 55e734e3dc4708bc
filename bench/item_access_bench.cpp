// The item interface on a cached 100,000-item folder: a walk reading two
// properties an item (one thread, and two threads sharing the record), one
// flag changed and saved beside the bytes that save must write, and the
// codecs on a 9,220-byte record.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/dictionary_codec.h"
#include "common/text_codecs.h"
#include "folders/items/item_binding.h"
#include "folders/items/item_calls.h"
#include "frame/library_lifecycle.h"
#include "frame/thread_state.h"
#include "index/file/index_save.h"
#include "index/items/sorted_store_index.h"
#include "index_file_items.h"
#include "platform/file_handle.h"
#include "store_mail_files.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kItems = 100000;
constexpr const char* kFolder = "\\Inbox";
constexpr size_t kRecordBytes = 9220;

twbench::ScratchMailRoot& Root() {
  static auto* root = new twbench::ScratchMailRoot("twitem");
  return *root;
}

// The folder's index, written once without message files: the item calls
// read the index only.
const std::string& Folder() {
  static const std::string directory = [] {
    const std::string inbox = Root().Inbox("bench");
    std::filesystem::create_directories(inbox);
    tw::StoreLibraryInit();
    tw::SORTEDSTOREINDEXTYPE index;
    if (!twbench::BuildMailIndex(index, kItems) || !tw::SaveIndexBlockHeld(index, inbox, 0)) return std::string();
    return inbox;
  }();
  return directory;
}

std::string ItemId(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X.MAI", 0x0000A000u + static_cast<unsigned>(i));
  return text;
}

size_t ReadProperty(const char* name) {
  void* value = nullptr;
  uint32_t length = 0;
  if (tw::GetCurrentItemProperty(name, &value, &length) != 2) return 0;
  std::free(value);
  return length;
}

void BM_WalkCachedFolder(benchmark::State& state) {
  if (Folder().empty()) return state.SkipWithError("no folder");
  tw::SetThreadAffinity(false);
  if (tw::OpenFolder("PO", "bench", kFolder, 0, 1) == 0) return state.SkipWithError("open failed");
  size_t items = 0, bytes = 0;
  for (auto _ : state) {
    for (uint32_t more = tw::FindFirstItem(); more == 1; more = tw::FindNextItem()) {
      bytes += ReadProperty("PR_SUBJECT") + ReadProperty("PR_TW_FLAGSTATUS");
      ++items;
    }
  }
  benchmark::DoNotOptimize(bytes);
  tw::CloseFolder();
  state.SetItemsProcessed(static_cast<int64_t>(items));
}

// Writes `tail` through a journal file and back in place at `offset`, as
// the save of one changed element must at the least.
double TailFloor(const std::string& directory, const std::string& tail, uint64_t offset) {
  using namespace tw::platform;
  const auto start = Clock::now();
  FileHandle journal = OpenFile(directory + "/floor.jnl", Access::Write, Share::All, Disposition::CreateAlways);
  const bool journaled = journal.IsOpen() && journal.Write(tail.data(), tail.size());
  journal.Close();
  FileHandle file = OpenFile(directory + "/floor.xml", Access::Write, Share::All, Disposition::OpenExisting);
  const bool wrote = file.IsOpen() && file.Seek(static_cast<int64_t>(offset), SeekFrom::Begin) &&
                     file.Write(tail.data(), tail.size());
  file.Close();
  return journaled && wrote ? std::chrono::duration<double>(Clock::now() - start).count() : -1;
}

// The file from `offset` to its end.
bool ReadTail(const std::string& path, uint64_t offset, std::string& tail) {
  using namespace tw::platform;
  FileHandle file = OpenFile(path, Access::Read, Share::All, Disposition::OpenExisting);
  const int64_t size = file.Size();
  if (!file.IsOpen() || size < static_cast<int64_t>(offset) || !file.Seek(static_cast<int64_t>(offset), SeekFrom::Begin))
    return false;
  tail.resize(static_cast<size_t>(size) - offset);
  size_t got = 0;
  return file.Read(tail.data(), tail.size(), got) && got == tail.size();
}

// Arg: the item flagged, as a position in the folder (last or middle).
void BM_FlagCachedFolder(benchmark::State& state) {
  if (Folder().empty()) return state.SkipWithError("no folder");
  tw::SetThreadAffinity(true);
  if (tw::OpenFolder("PO", "bench", kFolder, 0, 1) == 0) return state.SkipWithError("open failed");
  const std::string id = ItemId(static_cast<int>(state.range(0)));
  if (tw::SelectItem(id) != 1) return state.SkipWithError("no item");
  double seconds = 0, floor = 0;
  bool flagged = false;
  const std::string index = Folder() + "/_index.xml";
  // The floor overwrites a copy of the same size in place.
  std::filesystem::copy_file(index, Folder() + "/floor.xml", std::filesystem::copy_options::overwrite_existing);
  std::string tail;
  for (auto _ : state) {
    flagged = !flagged;
    const auto start = Clock::now();
    tw::SetCurrentItemProperty(id, "PR_TW_FLAGSTATUS", flagged ? "\\SEEN \\FLAGGED" : "\\SEEN \\RECENT");
    tw::SaveFolder();
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    seconds += took;
    state.SetIterationTime(took);

    // The same bytes, alone: the file from the changed element on.
    const int64_t offset = tw::HeldItems()->current.Container()->FileOffset();
    if (offset <= 0 || !ReadTail(index, static_cast<uint64_t>(offset), tail))
      return state.SkipWithError("element place unknown");
    const double least = TailFloor(Folder(), tail, static_cast<uint64_t>(offset));
    if (least < 0) return state.SkipWithError("floor pass failed");
    floor += least;
  }
  tw::CloseFolder();
  // Each change marked the folder for a rebuild from its message files,
  // which this folder does not have.
  std::filesystem::remove(Folder() + "/_CHANGE.DTY");
  const double n = static_cast<double>(state.iterations());
  state.counters["flag_ms"] = seconds * 1e3 / n;
  state.counters["floor_ms"] = floor * 1e3 / n;
  state.counters["times_floor"] = floor > 0 ? seconds / floor : 0;
}

// A record as the remote calls carry it: names, paths and numbers in fixed
// fields, mostly zeros.
std::string Record() {
  std::string record(kRecordBytes, '\0');
  const std::string texts[] = {"PO", "alice", "\\Inbox\\Projects\\2026", "C:\\MAIL\\PO\\MAILROOT\\alice\\Inbox"};
  size_t at = 0;
  for (int round = 0; round < 6; ++round)
    for (const std::string& text : texts) {
      record.replace(at, text.size(), text);
      at += 1024 / 4 + 7 * static_cast<size_t>(round);
    }
  for (size_t i = 8000; i < kRecordBytes; i += 4) record[i] = static_cast<char>(i * 37);
  return record;
}

void BM_DictionaryRoundTrip(benchmark::State& state) {
  const std::string record = Record();
  std::vector<unsigned char> packed(record.size() * 2 + 16), back(record.size());
  for (auto _ : state) {
    size_t written = 0, unpacked = 0;
    tw::DictionaryCompress(record, packed.data(), packed.size(), written);
    tw::DictionaryDecompress(std::string_view(reinterpret_cast<char*>(packed.data()), written), back.data(),
                             back.size(), unpacked);
    benchmark::DoNotOptimize(unpacked);
    state.counters["packed_bytes"] = static_cast<double>(written);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * record.size()));
}

void BM_Base64RoundTrip(benchmark::State& state) {
  const std::string record = Record();
  std::vector<char> text(record.size() * 2);
  std::vector<unsigned char> back(record.size());
  for (auto _ : state) {
    const int32_t length = tw::Base64Encode(record, text.data(), text.size());
    const int32_t decoded =
        tw::Base64Decode(std::string_view(text.data(), static_cast<size_t>(length)), back.data(), back.size());
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * record.size()));
}

}  // namespace

BENCHMARK(BM_WalkCachedFolder)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlagCachedFolder)->Arg(kItems - 1)->Arg(kItems / 2)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_DictionaryRoundTrip);
BENCHMARK(BM_Base64RoundTrip);
