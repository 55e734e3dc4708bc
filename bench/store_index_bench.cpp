// The store index lifecycle on mail folders of realistic message files
// (headers of 2 to 8 KiB, see store_mail_files.h), with the stream
// serialiser for loads and saves:
//
//   BM_ScanNewMail/N      ScanMailFolder (reason 1) of N new files: list,
//                         parse every header, number, save the index and
//                         _FOLDER.DAT. After each scan, untimed, the ceiling
//                         passes over the same files: a bare open, read of
//                         the first 8 KiB and close (by full path, and by
//                         name in the open directory), ReadFileHead of the
//                         same, and std::ifstream open/read/close (before
//                         it, a warm-up pass of the latter). x_bare is the
//                         call's time over the bare pass's (wall), and
//                         x_bare_cpu the same in CPU time; x_bare_fastest
//                         the fastest call over the fastest bare pass.
//   BM_WalkNewMail/N      the walk alone (no load, no save), same ceiling
//   BM_ListMailFolder/N   the directory listing the walk starts with
//   BM_ReopenUnchanged    OpenRecord mode 1 of an unchanged 100,000-item
//                         folder whose index is in memory (reuse)
//   BM_ColdOpen           OpenRecord mode 1 with a fresh record (full load),
//                         beside a plain read of the same _index.xml
//   BM_DirectInsert       DirectInsertItems of one new message into a
//                         100,000-item folder
//
// Times are wall times taken by hand (UseManualTime); cpu_ms counters are
// this process's CPU time across the same call. Files stay in the page
// cache throughout.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store_mail_files.h"
#include "frame/settings.h"
#include "index/lifecycle/direct_operations.h"
#include "index/messages/folder_cache_files.h"
#include "index/locking/index_file_blocking.h"
#include "index/messages/mail_folder_scan.h"
#include "index/file/serialisation_settings.h"
#include "index/items/sorted_store_index.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/file/store_index_serialiser.h"
#include "platform/file_handle.h"
#include "platform/file_head.h"
#include "platform/files.h"

namespace {

using Clock = std::chrono::steady_clock;
using twbench::CpuSecondsSince;
using twbench::SecondsSince;

constexpr size_t kHeadBytes = 8192;
constexpr int kBig = 100000;

const twbench::ScratchMailRoot& Root() {
  static const twbench::ScratchMailRoot root("twstoreindexbench-");
  static const bool settings = (tw::SetSettings(tw::ReadStoreSettings()), tw::ResetSerialisationSettingsCache(), true);
  (void)settings;
  return root;
}

std::string MailboxOf(int count) { return "scan" + std::to_string(count); }

// The Inbox of mailbox "scan<count>" with `count` message files (written
// once), and their names.
struct MailFolder {
  std::string directory;
  std::vector<std::string> names;
};

const MailFolder& Folder(int count) {
  static std::map<int, MailFolder> folders;
  MailFolder& folder = folders[count];
  if (folder.directory.empty()) {
    folder.directory = Root().Inbox(MailboxOf(count));
    if (!twbench::WriteMessages(folder.directory, 0, static_cast<uint64_t>(count))) folder.directory.clear();
    for (uint64_t n = 0; n < static_cast<uint64_t>(count); ++n) folder.names.push_back(twbench::MessageName("", n));
  }
  return folder;
}

// Drops what a scan writes, so that every file is new again.
void Forget(const std::string& directory) {
  for (const char* name : {"_index.xml", "_index.xml.bak", "_FOLDER.DAT", "_DIRSIZE.TMP", "_CHANGE.DTY"}) {
    std::error_code ec;
    std::filesystem::remove(directory + "/" + name, ec);
  }
}

// The ceiling: open, read the first 8 KiB, close, for every file; no
// parsing. Seconds; negative when a file could not be read.
double HeadPass(const MailFolder& folder, std::vector<char>& buffer) {
  const auto start = Clock::now();
  for (const std::string& name : folder.names) {
    size_t got = 0;
    if (!tw::platform::ReadFileHead(folder.directory + "/" + name, buffer.data(), kHeadBytes, got) || got == 0)
      return -1;
  }
  return SecondsSince(start);
}

// The bare ceiling: open, read the first 8 KiB, close, nothing else. By
// full path as the walk's names would be opened, or by name relative to
// the folder opened once. Paths are formed without allocating.
double BarePass(const MailFolder& folder, std::vector<char>& buffer, bool inDirectory) {
  DIR* dir = inDirectory ? ::opendir(folder.directory.c_str()) : nullptr;
  if (inDirectory && dir == nullptr) return -1;
  char path[4096];
  const size_t prefix = folder.directory.size() + 1;
  if (prefix + 64 > sizeof path) return -1;
  std::memcpy(path, folder.directory.data(), folder.directory.size());
  path[prefix - 1] = '/';
  bool ok = true;
  const auto start = Clock::now();
  for (const std::string& name : folder.names) {
    std::memcpy(path + prefix, name.c_str(), name.size() + 1);
    const int fd = inDirectory ? ::openat(::dirfd(dir), path + prefix, O_RDONLY | O_CLOEXEC)
                               : ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::read(fd, buffer.data(), kHeadBytes) <= 0) ok = false;
    if (fd >= 0) ::close(fd);
    if (!ok) break;
  }
  const double took = SecondsSince(start);
  if (dir != nullptr) ::closedir(dir);
  return ok ? took : -1;
}

double StreamPass(const MailFolder& folder, std::vector<char>& buffer) {
  const auto start = Clock::now();
  for (const std::string& name : folder.names) {
    std::ifstream file(folder.directory + "/" + name, std::ios::binary);
    file.read(buffer.data(), static_cast<std::streamsize>(kHeadBytes));
    if (file.gcount() == 0) return -1;
  }
  return SecondsSince(start);
}

// The ceiling passes run after each measured call (wall and CPU time),
// and the warm-up pass before it: the machine's page cache does not keep
// every file between runs, and the call and its ceiling should find the
// same files cached.
struct Ceiling {
  double bareSeconds = 0, bareAtSeconds = 0, bareCpu = 0;
  // The fastest iteration of the call and of the bare pass: what a busy
  // shared machine disturbs least in wall time.
  double fastestCall = 0, fastestBare = 0;
  double headSeconds = 0, headCpu = 0;
  double streamSeconds = 0;
  static bool Warm(const MailFolder& folder, std::vector<char>& buffer) { return StreamPass(folder, buffer) > 0; }
  bool Run(const MailFolder& folder, std::vector<char>& buffer) {
    const std::clock_t bareStart = std::clock();
    const double bare = BarePass(folder, buffer, false);
    bareCpu += CpuSecondsSince(bareStart);
    const double bareAt = BarePass(folder, buffer, true);
    bareSeconds += bare;
    bareAtSeconds += bareAt;
    if (fastestBare == 0 || bare < fastestBare) fastestBare = bare;
    const std::clock_t cpuStart = std::clock();
    const double head = HeadPass(folder, buffer);
    headCpu += CpuSecondsSince(cpuStart);
    const double stream = StreamPass(folder, buffer);
    headSeconds += head;
    streamSeconds += stream;
    return bare > 0 && bareAt > 0 && head > 0 && stream > 0;
  }
  void Report(benchmark::State& state, double files, double seconds, double cpu) const {
    const double n = static_cast<double>(state.iterations());
    const double rate = files * n / seconds;
    state.counters["msg/s"] = rate;
    state.counters["cpu_ms"] = cpu * 1e3 / n;
    state.counters["bare_ms"] = bareSeconds * 1e3 / n;
    state.counters["bare_at_ms"] = bareAtSeconds * 1e3 / n;
    state.counters["x_bare"] = seconds / bareSeconds;
    state.counters["x_bare_at"] = seconds / bareAtSeconds;
    // CPU time is what a busy shared machine disturbs least.
    state.counters["bare_cpu_ms"] = bareCpu * 1e3 / n;
    state.counters["x_bare_cpu"] = cpu / bareCpu;
    state.counters["x_bare_fastest"] = fastestCall / fastestBare;
    state.counters["head_msg/s"] = files * n / headSeconds;
    state.counters["head_cpu_ms"] = headCpu * 1e3 / n;
    state.counters["ifstream_msg/s"] = files * n / streamSeconds;
    state.counters["of_head"] = rate / (files * n / headSeconds);
    state.counters["of_head_cpu"] = headCpu / cpu;
  }
};

void BM_ScanNewMail(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const MailFolder& folder = Folder(count);
  if (folder.directory.empty()) return state.SkipWithError("messages not written");
  std::vector<char> buffer(kHeadBytes);
  double seconds = 0, cpu = 0;
  Ceiling ceiling;
  for (auto _ : state) {
    Forget(folder.directory);
    if (!Ceiling::Warm(folder, buffer)) return state.SkipWithError("warm-up pass failed");
    auto index = std::make_unique<tw::SORTEDSTOREINDEXTYPE>();
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    const int32_t result = tw::ScanMailFolder(*index, folder.directory, tw::kScanExplicit, true);
    const double took = SecondsSince(start);
    cpu += CpuSecondsSince(cpuStart);
    state.SetIterationTime(took);
    seconds += took;
    if (ceiling.fastestCall == 0 || took < ceiling.fastestCall) ceiling.fastestCall = took;
    tw::FolderDetails details;
    tw::ReadFolderDatFile(folder.directory + "/_FOLDER.DAT", details);
    if (result != 1 || index->Count() != static_cast<size_t>(count) ||
        index->LastUid() != static_cast<uint32_t>(count) ||
        details.counters[tw::FolderDetails::kItems] != static_cast<uint32_t>(count))
      return state.SkipWithError("scan did not index every file");
    index.reset();
    if (!ceiling.Run(folder, buffer)) return state.SkipWithError("ceiling pass failed");
  }
  if (seconds > 0 && cpu > 0) ceiling.Report(state, count, seconds, cpu);
}

void BM_WalkNewMail(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const MailFolder& folder = Folder(count);
  if (folder.directory.empty()) return state.SkipWithError("messages not written");
  std::vector<char> buffer(kHeadBytes);
  double seconds = 0, cpu = 0;
  Ceiling ceiling;
  for (auto _ : state) {
    if (!Ceiling::Warm(folder, buffer)) return state.SkipWithError("warm-up pass failed");
    auto index = std::make_unique<tw::SORTEDSTOREINDEXTYPE>();
    index->SetLoadLevel(tw::kLevelFull);
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    const bool whole = tw::WalkMailFolder(*index, folder.directory);
    const double took = SecondsSince(start);
    cpu += CpuSecondsSince(cpuStart);
    state.SetIterationTime(took);
    seconds += took;
    if (ceiling.fastestCall == 0 || took < ceiling.fastestCall) ceiling.fastestCall = took;
    if (!whole || index->Count() != static_cast<size_t>(count)) return state.SkipWithError("walk missed files");
    index.reset();
    if (!ceiling.Run(folder, buffer)) return state.SkipWithError("ceiling pass failed");
  }
  if (seconds > 0 && cpu > 0) ceiling.Report(state, count, seconds, cpu);
}

void BM_ListMailFolder(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const MailFolder& folder = Folder(count);
  if (folder.directory.empty()) return state.SkipWithError("messages not written");
  double seconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    tw::platform::FindHandle find;
    tw::platform::FindData data;
    int found = 0;
    for (bool more = find.First(folder.directory + "/*.MAI", data); more; more = find.Next(data)) ++found;
    const double took = SecondsSince(start);
    state.SetIterationTime(took);
    seconds += took;
    if (found != count) return state.SkipWithError("listing missed files");
  }
  if (seconds > 0) state.counters["entries/s"] = count * static_cast<double>(state.iterations()) / seconds;
}

// The scanned 100,000-file folder with its index on disk.
bool IndexedFolder() {
  const MailFolder& folder = Folder(kBig);
  if (folder.directory.empty()) return false;
  if (std::filesystem::exists(folder.directory + "/_index.xml")) return true;
  tw::SORTEDSTOREINDEXTYPE index;
  return tw::ScanMailFolder(index, folder.directory, tw::kScanExplicit, true) == 1 &&
         index.Count() == static_cast<size_t>(kBig);
}

void InitRecordFor(STOREINDEXTYPE& record, const std::string& mailbox) {
  std::memset(&record, 0, sizeof record);
  tw::InitRecord(record);
  tw::SetRecordText(record.postoffice, "PO");
  tw::SetRecordText(record.mailbox, mailbox);
  tw::SetRecordText(record.folder, "\\Inbox");
  tw::SetRecordPaths(record);
}

// What a mode-1 open of an unchanged folder cannot avoid: taking and
// releasing the folder's block and one look at the index file's time.
double BlockAndStat(const std::string& directory) {
  const auto start = Clock::now();
  uintptr_t handle = 0;
  if (tw::WaitForAccessToIndexFileEx(directory + "/_index.blk", tw::kHeldBlock, &handle) == 0) return -1;
  tw::UnBlockIndexFileAccessEx(directory + "/_index.blk", tw::kHeldBlock, &handle);
  tw::platform::FileInfo info;
  if (!tw::platform::GetFileInfo(directory + "/_index.xml", info)) return -1;
  return SecondsSince(start);
}

void BM_ReopenUnchanged(benchmark::State& state) {
  if (!IndexedFolder()) return state.SkipWithError("folder not indexed");
  const std::string directory = Folder(kBig).directory;
  auto record = std::make_unique<STOREINDEXTYPE>();
  InitRecordFor(*record, MailboxOf(kBig));
  if (tw::OpenRecord(*record, 1) != 1 || record->itemCount != static_cast<uint32_t>(kBig))
    return state.SkipWithError("first open failed");
  double seconds = 0, cpu = 0, floor = 0, worst = 0;
  for (auto _ : state) {
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    const int32_t result = tw::OpenRecord(*record, 1);
    const double took = SecondsSince(start);
    cpu += CpuSecondsSince(cpuStart);
    state.SetIterationTime(took);
    seconds += took;
    worst = std::max(worst, took);
    if (result != 2) return state.SkipWithError("the index in memory was not reused");
    const double least = BlockAndStat(directory);
    if (least < 0) return state.SkipWithError("block pass failed");
    floor += least;
  }
  tw::ReleaseRecord(*record);
  const double n = static_cast<double>(state.iterations());
  if (n == 0) return;
  state.counters["cpu_ms"] = cpu * 1e3 / n;
  state.counters["max_ms"] = worst * 1e3;
  state.counters["block_stat_ms"] = floor * 1e3 / n;
}

void BM_ColdOpen(benchmark::State& state) {
  if (!IndexedFolder()) return state.SkipWithError("folder not indexed");
  const std::string indexFile = Folder(kBig).directory + "/_index.xml";
  const auto size = static_cast<size_t>(std::filesystem::file_size(indexFile));
  std::vector<char> buffer(size + 1);
  double seconds = 0, cpu = 0, readSeconds = 0;
  for (auto _ : state) {
    auto record = std::make_unique<STOREINDEXTYPE>();
    InitRecordFor(*record, MailboxOf(kBig));
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    const int32_t result = tw::OpenRecord(*record, 1);
    const double took = SecondsSince(start);
    cpu += CpuSecondsSince(cpuStart);
    state.SetIterationTime(took);
    seconds += took;
    if (result != 1 || record->itemCount != static_cast<uint32_t>(kBig))
      return state.SkipWithError("cold open did not load every item");
    tw::ReleaseRecord(*record);
    size_t got = 0;
    const auto readStart = Clock::now();
    if (!tw::platform::ReadFileHead(indexFile, buffer.data(), buffer.size(), got) || got != size)
      return state.SkipWithError("plain read failed");
    readSeconds += SecondsSince(readStart);
  }
  const double n = static_cast<double>(state.iterations());
  if (n == 0) return;
  state.counters["cpu_ms"] = cpu * 1e3 / n;
  state.counters["read_ms"] = readSeconds * 1e3 / n;
  state.counters["index_bytes"] = static_cast<double>(size);
  state.counters["items/s"] = kBig * n / seconds;
}

// The least I/O a direct insert needs: its block taken and released, the
// message's head read, and an item's worth of bytes appended to a file.
double InsertFloor(const std::string& directory, const std::string& message, std::vector<char>& buffer) {
  const auto start = Clock::now();
  uintptr_t handle = 0;
  const std::string block = directory + "/floor.blk";
  if (tw::WaitForAccessToIndexFileEx(block, tw::kHeldBlock, &handle) == 0) return -1;
  size_t got = 0;
  const bool read = tw::platform::ReadFileHead(directory + "/" + message, buffer.data(), kHeadBytes, got);
  tw::platform::FileHandle out =
      tw::platform::OpenFile(directory + "/floor.dat", tw::platform::Access::Write, tw::platform::Share::All,
                             tw::platform::Disposition::OpenAlways);
  const bool wrote = out.IsOpen() && out.Seek(0, tw::platform::SeekFrom::End) && out.Write(buffer.data(), 600);
  out.Close();
  tw::UnBlockIndexFileAccessEx(block, tw::kHeldBlock, &handle);
  return read && wrote ? SecondsSince(start) : -1;
}

void BM_DirectInsert(benchmark::State& state) {
  if (!IndexedFolder()) return state.SkipWithError("folder not indexed");
  // A copy of the scanned index and counters: the message files of its
  // items are not needed by an insert.
  const std::string from = Folder(kBig).directory;
  const std::string mailbox = "insert";
  const std::string directory = Root().Inbox(mailbox);
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
  for (const char* name : {"_index.xml", "_FOLDER.DAT"})
    std::filesystem::copy_file(from + "/" + name, directory + "/" + name);
  std::vector<char> buffer(kHeadBytes);
  double seconds = 0, cpu = 0, floor = 0, worst = 0;
  uint64_t next = 0;
  for (auto _ : state) {
    const uint64_t n = 900000 + next++;
    const std::string name = twbench::MessageName("", n);
    if (!twbench::WriteMessages(directory, n, n + 1)) return state.SkipWithError("message not written");
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    const int32_t result = tw::DirectInsertItems("PO", mailbox, "\\Inbox", name, "");
    const double took = SecondsSince(start);
    cpu += CpuSecondsSince(cpuStart);
    state.SetIterationTime(took);
    seconds += took;
    worst = std::max(worst, took);
    if (result != 1) return state.SkipWithError("insert failed");
    const double least = InsertFloor(directory, name, buffer);
    if (least < 0) return state.SkipWithError("floor pass failed");
    floor += least;
  }
  const double n = static_cast<double>(state.iterations());
  if (n == 0) return;
  // Every insert must be in the file, numbered after the scanned items.
  auto record = std::make_unique<STOREINDEXTYPE>();
  InitRecordFor(*record, mailbox);
  tw::FolderDetails details;
  tw::ReadFolderDatFile(directory + "/_FOLDER.DAT", details);
  const uint32_t expected = kBig + static_cast<uint32_t>(next);
  if (tw::OpenRecord(*record, 5) != 1 || record->itemCount != expected || record->lastUid != expected ||
      details.counters[tw::FolderDetails::kItems] != expected)
    state.SkipWithError("inserts missing from the index or the counters");
  tw::ReleaseRecord(*record);
  state.counters["cpu_ms"] = cpu * 1e3 / n;
  state.counters["max_ms"] = worst * 1e3;
  state.counters["floor_ms"] = floor * 1e3 / n;
}

BENCHMARK(BM_ListMailFolder)->Arg(20000)->Arg(kBig)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkNewMail)->Arg(20000)->Arg(kBig)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ScanNewMail)->Arg(20000)->Arg(kBig)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReopenUnchanged)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_ColdOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DirectInsert)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace
