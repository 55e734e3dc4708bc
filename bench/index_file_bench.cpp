// The folder index file (`_index.xml`) through each serialiser, at 1,000,
// 10,000 and 100,000 realistic mail items: full, header-only and keys
// loads beside the plain read of the same bytes, full saves, and the save
// after one flag changed on the last, the middle or the first item (for
// the stream serialiser also with "Flush Index Journal" 1: its journal and
// the index file flushed to the disk).
//
// Loads and saves are timed by hand (UseManualTime) so that building,
// freeing and the plain read next to each load stay out of the figure.
// Bytes read and written are the process's own counters (/proc/self/io
// rchar and wchar) across the one call, so they show what the code did,
// not what it should have done. Files stay in the page cache throughout.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "index_file_items.h"
#include "index/file/document_serialiser.h"
#include "index/file/index_save.h"
#include "index/file/serialisation_settings.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"
#include "index/file/stream_serialiser.h"
#include "platform/file_handle.h"
#include "platform/registry.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class Kind { Stream, Document };
enum class Change { Last, Middle, First };

constexpr uint32_t kMail = tw::kFolderTypeMail;
const std::vector<int64_t> kSizes = {1000, 10000, 100000};

const char* Name(Kind kind) { return kind == Kind::Stream ? "stream" : "document"; }

std::unique_ptr<tw::StoreIndexSerialiser> MakeSerialiser(Kind kind) {
  if (kind == Kind::Stream) return std::make_unique<tw::StreamXMLStoreIndexSerialiser>();
  return std::make_unique<tw::MSXMLStoreIndexSerialiser>(tw::MsxmlProducesOldFormat());
}

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// Process CPU seconds since `from` (std::clock): beside the wall time, it
// shows what a call cost when other work shares the machine.
double CpuSeconds(std::clock_t from) { return static_cast<double>(std::clock() - from) / CLOCKS_PER_SEC; }

const twbench::ScratchRoot& Root() {
  static const twbench::ScratchRoot root("twindexfilebench-");
  return root;
}

std::string IndexPath(const std::string& folder) { return folder + "/_index.xml"; }

// The process's I/O counters, and the length of the text they came in: that
// read is itself counted once the snapshot is taken.
struct Io {
  uint64_t rchar = 0;
  uint64_t wchar = 0;
  uint64_t ownRead = 0;
};

uint64_t Field(const std::string& text, const char* name) {
  const size_t at = text.find(name);
  return at == std::string::npos ? 0 : std::stoull(text.substr(at + std::string_view(name).size()));
}

Io ReadIo() {
  std::ifstream file("/proc/self/io");
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return {Field(text, "rchar: "), Field(text, "wchar: "), text.size()};
}

uint64_t BytesRead(const Io& before, const Io& after) { return after.rchar - before.rchar - before.ownRead; }
uint64_t BytesWritten(const Io& before, const Io& after) { return after.wchar - before.wchar; }

// The ceiling of any load: open, read every byte into `buffer`, close.
bool PlainRead(const std::string& path, std::vector<char>& buffer, size_t& got) {
  tw::platform::FileHandle file = tw::platform::OpenFile(path, tw::platform::Access::Read,
                                                         tw::platform::Share::All,
                                                         tw::platform::Disposition::OpenExisting);
  got = 0;
  return file.IsOpen() && file.Read(buffer.data(), buffer.size(), got);
}

// Writes a fresh index of `count` items into a new folder.
std::string PrepareFolder(Kind kind, int count, const std::string& name) {
  const std::string folder = Root().NewFolder(name);
  tw::SORTEDSTOREINDEXTYPE index;
  if (!twbench::BuildMailIndex(index, count)) return {};
  index.rewriteInFull = true;
  if (MakeSerialiser(kind)->Serialise(index, folder, kMail) != 1) return {};
  return folder;
}

// One folder per serialiser and size that the loads only read.
const std::string& LoadFolder(Kind kind, int count) {
  static std::map<std::pair<Kind, int>, std::string> folders;
  auto& folder = folders[{kind, count}];
  if (folder.empty())
    folder = PrepareFolder(kind, count, std::string("load-") + Name(kind) + "-" + std::to_string(count));
  return folder;
}

int64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<int64_t>(size);
}

void BM_PlainRead(benchmark::State& state) {
  const std::string path = IndexPath(LoadFolder(Kind::Stream, static_cast<int>(state.range(0))));
  const int64_t size = FileSize(path);
  std::vector<char> buffer(static_cast<size_t>(size) + 1);
  double readSeconds = 0;
  for (auto _ : state) {
    size_t got = 0;
    const auto start = Clock::now();
    const bool ok = PlainRead(path, buffer, got);
    const double seconds = Seconds(start);
    state.SetIterationTime(seconds);
    readSeconds += seconds;
    if (!ok || static_cast<int64_t>(got) != size) {
      state.SkipWithError("plain read failed");
      break;
    }
  }
  // Rates by hand: the library's rate counters divide by CPU time.
  if (readSeconds <= 0) return;
  state.counters["MB/s"] = static_cast<double>(size) * static_cast<double>(state.iterations()) / readSeconds / 1e6;
  state.counters["file_bytes"] = static_cast<double>(size);
}

// Each load starts from an empty index with a serialiser made for it, as
// the store does; the plain read of the same file follows it untimed, and
// its speed is reported beside the load's.
void LoadBench(benchmark::State& state, Kind kind, int32_t level) {
  const int count = static_cast<int>(state.range(0));
  const std::string folder = LoadFolder(kind, count);
  if (folder.empty()) {
    state.SkipWithError("index not prepared");
    return;
  }
  const std::string path = IndexPath(folder);
  const int64_t size = FileSize(path);
  const int32_t expected = kind == Kind::Document ? tw::kLevelFull : level;  // the document model loads whole
  std::vector<char> buffer(static_cast<size_t>(size) + 1);
  double loadSeconds = 0;
  double cpuSeconds = 0;
  double readSeconds = 0;
  uint64_t bytesRead = 0;
  uint64_t maxBytesRead = 0;
  size_t items = 0;
  for (auto _ : state) {
    tw::SORTEDSTOREINDEXTYPE index;
    const auto serialiser = MakeSerialiser(kind);
    const Io before = ReadIo();
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    const int32_t reached = serialiser->Deserialise(index, folder, kMail, level, {});
    const double seconds = Seconds(start);
    cpuSeconds += CpuSeconds(cpuStart);
    const Io after = ReadIo();
    state.SetIterationTime(seconds);
    loadSeconds += seconds;
    bytesRead += BytesRead(before, after);
    maxBytesRead = std::max(maxBytesRead, BytesRead(before, after));
    items = index.Count();
    if (reached != expected || (level > tw::kLevelHeader && items != static_cast<size_t>(count))) {
      state.SkipWithError("load did not reach its level");
      break;
    }
    size_t got = 0;
    const auto readStart = Clock::now();
    if (!PlainRead(path, buffer, got) || static_cast<int64_t>(got) != size) {
      state.SkipWithError("plain read failed");
      break;
    }
    readSeconds += Seconds(readStart);
  }
  const double n = static_cast<double>(state.iterations());
  if (n == 0 || loadSeconds <= 0) return;
  const double loadMBps = static_cast<double>(size) * n / loadSeconds / 1e6;
  const double readMBps = static_cast<double>(size) * n / readSeconds / 1e6;
  state.counters["read_MB/s"] = readMBps;
  state.counters["cpu_ms"] = cpuSeconds * 1e3 / n;
  // A header-only load reads a fixed few bytes: a rate would say nothing.
  if (level != tw::kLevelHeader || kind == Kind::Document) {
    state.counters["MB/s"] = loadMBps;
    state.counters["items/s"] = static_cast<double>(items) * n / loadSeconds;
    state.counters["of_read"] = loadMBps / readMBps;
  }
  state.counters["bytes_read"] = static_cast<double>(bytesRead) / n;
  state.counters["max_bytes_read"] = static_cast<double>(maxBytesRead);
  state.counters["file_bytes"] = static_cast<double>(size);
}

// What the store does after a save that wrote the file.
void AfterSave(tw::SORTEDSTOREINDEXTYPE& index, const std::string& folder) {
  index.SetLowestUid(0);
  index.rewriteInFull = false;
  tw::RememberIndexFile(index, IndexPath(folder));
}

// A folder of its own (saves change it), loaded in full by the same
// serialiser so that the stream serialiser knows every element's place.
bool LoadForSaving(Kind kind, int count, const std::string& name, tw::SORTEDSTOREINDEXTYPE& index,
                   std::string& folder) {
  folder = PrepareFolder(kind, count, name);
  if (folder.empty()) return false;
  if (MakeSerialiser(kind)->Deserialise(index, folder, kMail, tw::kLevelFull, {}) != tw::kLevelFull) return false;
  index.keyFilter.clear();
  return index.LoadLevel() == tw::kLevelFull && index.Count() == static_cast<size_t>(count);
}

void FullSaveBench(benchmark::State& state, Kind kind) {
  const int count = static_cast<int>(state.range(0));
  tw::SORTEDSTOREINDEXTYPE index;
  std::string folder;
  if (!LoadForSaving(kind, count, std::string("full-") + Name(kind) + "-" + std::to_string(count), index, folder)) {
    state.SkipWithError("index not prepared");
    return;
  }
  double saveSeconds = 0;
  double cpuSeconds = 0;
  uint64_t written = 0;
  for (auto _ : state) {
    index.rewriteInFull = true;
    const auto serialiser = MakeSerialiser(kind);
    const Io before = ReadIo();
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    const int32_t saved = serialiser->Serialise(index, folder, kMail);
    if (saved == 1) AfterSave(index, folder);
    const double seconds = Seconds(start);
    cpuSeconds += CpuSeconds(cpuStart);
    const Io after = ReadIo();
    state.SetIterationTime(seconds);
    saveSeconds += seconds;
    written += BytesWritten(before, after);
    if (saved != 1) {
      state.SkipWithError("save failed");
      break;
    }
  }
  const double n = static_cast<double>(state.iterations());
  if (n == 0 || saveSeconds <= 0) return;
  const double size = static_cast<double>(FileSize(IndexPath(folder)));
  state.counters["MB/s"] = size * n / saveSeconds / 1e6;
  state.counters["items/s"] = static_cast<double>(count) * n / saveSeconds;
  state.counters["bytes_written"] = static_cast<double>(written) / n;
  state.counters["cpu_ms"] = cpuSeconds * 1e3 / n;
  state.counters["file_bytes"] = size;
}

// "Flush Index Journal" for what follows: the registry file is written anew
// and the settings read again.
void SetJournalFlush(bool on) {
  Root();  // it points the library at its registry file
  const char* path = std::getenv("TW_REGISTRY_FILE");
  if (path == nullptr) return;
  std::ofstream(path) << "Windows Registry Editor Version 5.00\r\n\r\n"
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]\r\n"
                         "\"Flush Index Journal\"=dword:0000000"
                      << (on ? 1 : 0) << "\r\n";
  tw::platform::RegistryReset();
  tw::ResetSerialisationSettingsCache();
}

// Each iteration flips the one item's FLAGSTATUS and saves. `tail_bytes` is
// what a tail rewrite has to write at least: the file from the changed
// element's old offset to the end (for the document serialiser, which
// rewrites everything, the whole file). A stream save writes it twice:
// into its journal, then in place.
void ChangeSaveBench(benchmark::State& state, Kind kind, Change change, bool flush = false) {
  struct FlushOnlyHere {
    explicit FlushOnlyHere(bool on) : on_(on) {
      if (on_) SetJournalFlush(true);
    }
    ~FlushOnlyHere() {
      if (on_) SetJournalFlush(false);
    }
    bool on_;
  } flushing(flush);
  const int count = static_cast<int>(state.range(0));
  tw::SORTEDSTOREINDEXTYPE index;
  std::string folder;
  const std::string name = std::string("change-") + Name(kind) + "-" + std::to_string(count) + "-" +
                           std::to_string(static_cast<int>(change));
  if (!LoadForSaving(kind, count, name, index, folder)) {
    state.SkipWithError("index not prepared");
    return;
  }
  const size_t at = change == Change::Last ? index.Count() - 1 : change == Change::Middle ? index.Count() / 2 : 0;
  tw::IndexItemPropertyContainer* item = index.Sequence()[at];
  const std::string id = item->GetText("ID");
  const char* flags[] = {"\\SEEN \\FLAGGED", "\\SEEN \\RECENT"};
  double saveSeconds = 0;
  double cpuSeconds = 0;
  uint64_t written = 0;
  uint64_t maxWritten = 0;
  double tailBytes = 0;
  int flip = 0;
  for (auto _ : state) {
    const int64_t size = FileSize(IndexPath(folder));
    tailBytes += static_cast<double>(kind == Kind::Stream ? size - item->FileOffset() : size);
    item->SetText("FLAGSTATUS", flags[flip]);
    flip ^= 1;
    const auto serialiser = MakeSerialiser(kind);
    const Io before = ReadIo();
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    const int32_t saved = serialiser->Serialise(index, folder, kMail);
    if (saved == 1) AfterSave(index, folder);
    const double seconds = Seconds(start);
    cpuSeconds += CpuSeconds(cpuStart);
    const Io after = ReadIo();
    state.SetIterationTime(seconds);
    saveSeconds += seconds;
    written += BytesWritten(before, after);
    maxWritten = std::max(maxWritten, BytesWritten(before, after));
    if (saved != 1) {
      state.SkipWithError("save failed");
      break;
    }
  }
  const double n = static_cast<double>(state.iterations());
  if (n == 0) return;

  // The file must read back with the last flag written and nothing lost.
  tw::SORTEDSTOREINDEXTYPE check;
  if (MakeSerialiser(kind)->Deserialise(check, folder, kMail, tw::kLevelFull, {}) != tw::kLevelFull ||
      check.Count() != static_cast<size_t>(count) || check.FindById(id) == nullptr ||
      check.FindById(id)->GetText("FLAGSTATUS") != flags[flip ^ 1]) {
    state.SkipWithError("saved file does not read back");
    return;
  }
  state.counters["bytes_written"] = static_cast<double>(written) / n;
  state.counters["cpu_ms"] = cpuSeconds * 1e3 / n;
  state.counters["max_bytes_written"] = static_cast<double>(maxWritten);
  state.counters["tail_bytes"] = tailBytes / n;
  state.counters["file_bytes"] = static_cast<double>(FileSize(IndexPath(folder)));
}

// A call that takes a large part of a second at the largest size runs a
// fixed number of times there: the time-driven count would stop at one,
// cold, iteration.
constexpr int kLargeIterations = 5;

template <typename Fn>
void Register(const std::string& name, Fn fn, benchmark::TimeUnit unit, bool slowAtLargest) {
  auto* b = benchmark::RegisterBenchmark(name.c_str(), fn)->UseManualTime()->Unit(unit);
  for (const int64_t size : kSizes)
    if (!slowAtLargest || size != kSizes.back()) b->Arg(size);
  if (slowAtLargest)
    benchmark::RegisterBenchmark(name.c_str(), fn)
        ->UseManualTime()
        ->Unit(unit)
        ->Arg(kSizes.back())
        ->Iterations(kLargeIterations);
}

int RegisterAll() {
  Register("PlainRead", BM_PlainRead, benchmark::kMillisecond, false);
  for (const Kind kind : {Kind::Stream, Kind::Document}) {
    const std::string k = Name(kind);
    const bool stream = kind == Kind::Stream;
    const struct {
      const char* what;
      int32_t level;
      benchmark::TimeUnit unit;
    } loads[] = {{"full", tw::kLevelFull, benchmark::kMillisecond},
                 {"header", tw::kLevelHeader, benchmark::kMicrosecond},
                 {"keys", tw::kLevelKeys, benchmark::kMillisecond}};
    for (const auto& load : loads) {
      const int32_t level = load.level;
      Register("Load/" + k + "/" + load.what, [=](benchmark::State& state) { LoadBench(state, kind, level); },
               load.unit, !stream || level != tw::kLevelHeader);
    }
    Register("Save/" + k + "/full", [=](benchmark::State& state) { FullSaveBench(state, kind); },
             benchmark::kMillisecond, true);
    const struct {
      const char* what;
      Change change;
    } changes[] = {{"last", Change::Last}, {"middle", Change::Middle}, {"first", Change::First}};
    for (const auto& c : changes) {
      const Change change = c.change;
      Register("Save/" + k + "/change_" + c.what,
               [=](benchmark::State& state) { ChangeSaveBench(state, kind, change); }, benchmark::kMicrosecond,
               !stream || change != Change::Last);
      if (stream)
        Register("Save/" + k + "/change_" + c.what + "/flush",
                 [=](benchmark::State& state) { ChangeSaveBench(state, kind, change, true); },
                 benchmark::kMicrosecond, change != Change::Last);
    }
  }
  return 0;
}

const int registered = RegisterAll();

}  // namespace
