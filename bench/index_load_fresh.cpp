// One index load in a process of its own: what the store pays when a folder
// is first opened, with no warm heap, no registered property names and no
// cached settings. The in-process benchmark (index_file_bench) repeats
// loads and so hides those first-time costs.
//
//   index_load_fresh --prepare FOLDER COUNT stream|document
//       writes FOLDER/_index.xml with COUNT mail items by that serialiser
//   index_load_fresh FOLDER stream|document|read
//       one full load (or, for "read", open, read every byte, close) and
//       prints the elapsed milliseconds and the items loaded; for a load
//       also the minor page faults taken during it and the resident bytes
//       it added, per item
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "index_file_items.h"
#include "index/file/document_serialiser.h"
#include "index/file/serialisation_settings.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"
#include "index/file/stream_serialiser.h"
#include "platform/file_handle.h"

namespace {

constexpr long kMostItems = 10'000'000;

int Usage() {
  std::fprintf(stderr,
               "usage: index_load_fresh --prepare FOLDER COUNT stream|document\n"
               "       index_load_fresh FOLDER stream|document|read\n");
  return 2;
}

std::unique_ptr<tw::StoreIndexSerialiser> MakeSerialiser(std::string_view name) {
  if (name == "stream") return std::make_unique<tw::StreamXMLStoreIndexSerialiser>();
  if (name == "document") return std::make_unique<tw::MSXMLStoreIndexSerialiser>(tw::MsxmlProducesOldFormat());
  return nullptr;
}

int Prepare(const std::string& folder, const char* countText, std::string_view name) {
  char* end = nullptr;
  const long count = std::strtol(countText, &end, 10);
  const auto serialiser = MakeSerialiser(name);
  if (end == countText || *end != '\0' || count < 0 || count > kMostItems || !serialiser) return Usage();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  tw::SORTEDSTOREINDEXTYPE index;
  if (!twbench::BuildMailIndex(index, static_cast<int>(count))) {
    std::fprintf(stderr, "items could not be made\n");
    return 1;
  }
  index.rewriteInFull = true;
  if (serialiser->Serialise(index, folder, tw::kFolderTypeMail) != 1) {
    std::fprintf(stderr, "save into %s failed\n", folder.c_str());
    return 1;
  }
  std::printf("prepared %s: %ld items, %s\n", folder.c_str(), count, std::string(name).c_str());
  return 0;
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Process CPU time beside the wall time: the machine may be shared.
double CpuMillisecondsSince(std::clock_t start) {
  return static_cast<double>(std::clock() - start) * 1e3 / CLOCKS_PER_SEC;
}

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// Resident bytes of the process (statm counts 4 KiB pages).
double ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  double size = 0, resident = 0;
  statm >> size >> resident;
  return resident * 4096;
}

// The destination is not touched beforehand, so faulting it in is part of
// the read, as the loader's own memory is part of a load.
int PlainRead(const std::string& folder) {
  const std::string path = folder + "/_index.xml";
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  tw::platform::FileHandle file = tw::platform::OpenFile(path, tw::platform::Access::Read, tw::platform::Share::All,
                                                         tw::platform::Disposition::OpenExisting);
  const int64_t size = file.IsOpen() ? file.Size() : -1;
  if (size < 0) {
    std::fprintf(stderr, "cannot open %s\n", path.c_str());
    return 1;
  }
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size) + 1]);
  size_t got = 0;
  const bool ok = file.Read(buffer.get(), static_cast<size_t>(size) + 1, got);
  file.Close();
  const double ms = MillisecondsSince(start);
  const double cpuMs = CpuMillisecondsSince(cpuStart);
  if (!ok || got != static_cast<size_t>(size)) {
    std::fprintf(stderr, "read of %s failed\n", path.c_str());
    return 1;
  }
  std::printf("read elapsed_ms=%.3f cpu_ms=%.3f bytes=%zu\n", ms, cpuMs, got);
  return 0;
}

int Load(const std::string& folder, std::string_view name) {
  const auto serialiser = MakeSerialiser(name);
  if (!serialiser) return Usage();
  tw::SORTEDSTOREINDEXTYPE index;
  const double residentBefore = ResidentBytes();
  const long faultsBefore = MinorFaults();
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  const int32_t level = serialiser->Deserialise(index, folder, tw::kFolderTypeMail, tw::kLevelFull, {});
  const double ms = MillisecondsSince(start);
  const double cpuMs = CpuMillisecondsSince(cpuStart);
  const long faults = MinorFaults() - faultsBefore;
  const double resident = ResidentBytes() - residentBefore;
  if (level != tw::kLevelFull) {
    std::fprintf(stderr, "load of %s failed (level %d)\n", folder.c_str(), level);
    return 1;
  }
  const double items = index.Count() > 0 ? static_cast<double>(index.Count()) : 1;
  std::printf("%s elapsed_ms=%.3f cpu_ms=%.3f items=%zu bytes=%u faults=%ld resident_per_item=%.0f\n",
              std::string(name).c_str(), ms, cpuMs, index.Count(), index.indexFileSize, faults, resident / items);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string_view(argv[1]) == "--prepare") return Prepare(argv[2], argv[3], argv[4]);
  if (argc != 3) return Usage();
  if (std::string_view(argv[2]) == "read") return PlainRead(argv[1]);
  return Load(argv[1], argv[2]);
}
