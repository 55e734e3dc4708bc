// The store index calls that a fresh process pays for in full (no warm
// heap, no registered property names, no cached settings), and concurrent
// deliveries by separate processes. See run_store_index_fresh.sh.
//
//   store_index_fresh prepare ROOT COUNT
//       makes a scratch mail root at ROOT (registry: stream serialiser) with
//       COUNT message files in PO/fresh/Inbox, and scans them once
//   store_index_fresh scan ROOT
//       the same scan again, from nothing (index and counters deleted first)
//   store_index_fresh open ROOT
//       one OpenRecord mode 1 of PO/fresh/Inbox with a new record (a cold,
//       full load of an unchanged folder)
//   store_index_fresh reopen ROOT TIMES
//       the open, then TIMES more mode-1 opens of the same record (reuse)
//   store_index_fresh insert ROOT TIMES
//       TIMES direct inserts of one new message each into PO/insert/Inbox,
//       which starts as a copy of PO/fresh/Inbox's index and counters
//   store_index_fresh read ROOT
//       its ceiling: open, read every byte of that _index.xml, close
//   store_index_fresh deliveries ROOT BINDIR PROCESSES COUNT [--no-index]
//       PROCESSES store_deliver processes at once, COUNT messages each, into
//       PO/deliver<PROCESSES>/Inbox (emptied first); then checks that every
//       message is indexed once, UIDs unique and increasing in delivery
//       order, and _FOLDER.DAT's item count equal to the index's
//
// Each prints one line of results; exit status 1 when a check failed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "store_mail_files.h"
#include "frame/settings.h"
#include "index/lifecycle/direct_operations.h"
#include "index/messages/folder_cache_files.h"
#include "index/items/index_item_property_container.h"
#include "index/messages/mail_folder_scan.h"
#include "index/items/sorted_store_index.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "platform/file_head.h"

namespace {

constexpr long kMostMessages = 10'000'000;
constexpr long kMostProcesses = 64;

int Usage() {
  std::fprintf(stderr,
               "usage: store_index_fresh prepare ROOT COUNT\n"
               "       store_index_fresh scan|open|read ROOT\n"
               "       store_index_fresh reopen|insert ROOT TIMES\n"
               "       store_index_fresh deliveries ROOT BINDIR PROCESSES COUNT [--no-index]\n");
  return 2;
}

bool Number(const char* text, long most, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && value > 0 && value <= most;
}

void OpenRecordFor(STOREINDEXTYPE& record, const std::string& mailbox) {
  std::memset(&record, 0, sizeof record);
  tw::InitRecord(record);
  tw::SetRecordText(record.postoffice, "PO");
  tw::SetRecordText(record.mailbox, mailbox);
  tw::SetRecordText(record.folder, "\\Inbox");
  tw::SetRecordPaths(record);
}

int Prepare(const std::string& path, long count) {
  const twbench::ScratchMailRoot root(twbench::ScratchMailRoot::Make{}, path);
  tw::SetSettings(tw::ReadStoreSettings());
  const std::string inbox = root.Inbox("fresh");
  if (!twbench::WriteMessages(inbox, 0, static_cast<uint64_t>(count))) return 1;
  tw::SORTEDSTOREINDEXTYPE index;
  const auto start = std::chrono::steady_clock::now();
  const int32_t result = tw::ScanMailFolder(index, inbox, tw::kScanExplicit, true);
  std::printf("prepare: %ld messages, scan %.0f ms, %zu items\n", count, twbench::SecondsSince(start) * 1e3,
              index.Count());
  return result == 1 && index.Count() == static_cast<size_t>(count) ? 0 : 1;
}

int Scan(const std::string& path) {
  const twbench::ScratchMailRoot root(twbench::ScratchMailRoot::Existing{}, path);
  tw::SetSettings(tw::ReadStoreSettings());
  const std::string inbox = root.Inbox("fresh");
  for (const char* name : {"_index.xml", "_FOLDER.DAT", "_DIRSIZE.TMP"}) {
    std::error_code ec;
    std::filesystem::remove(inbox + "/" + name, ec);
  }
  tw::SORTEDSTOREINDEXTYPE index;
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  const int32_t result = tw::ScanMailFolder(index, inbox, tw::kScanExplicit, true);
  const double wall = twbench::SecondsSince(start);
  std::printf("scan: result %d, %zu items, wall %.1f ms, cpu %.1f ms, %.0f messages/s\n", result, index.Count(),
              wall * 1e3, twbench::CpuSecondsSince(cpuStart) * 1e3, static_cast<double>(index.Count()) / wall);
  return result == 1 ? 0 : 1;
}

int Open(const std::string& path) {
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  const twbench::ScratchMailRoot root(twbench::ScratchMailRoot::Existing{}, path);
  tw::SetSettings(tw::ReadStoreSettings());
  auto record = std::make_unique<STOREINDEXTYPE>();
  OpenRecordFor(*record, "fresh");
  const int32_t result = tw::OpenRecord(*record, 1);
  std::printf("open: result %d, %u items, wall %.1f ms, cpu %.1f ms\n", result, record->itemCount,
              twbench::SecondsSince(start) * 1e3, twbench::CpuSecondsSince(cpuStart) * 1e3);
  return result == 1 ? 0 : 1;
}

int Reopen(const std::string& path, long times) {
  const twbench::ScratchMailRoot root(twbench::ScratchMailRoot::Existing{}, path);
  tw::SetSettings(tw::ReadStoreSettings());
  auto record = std::make_unique<STOREINDEXTYPE>();
  OpenRecordFor(*record, "fresh");
  if (tw::OpenRecord(*record, 1) != 1) return 1;
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  int reused = 0;
  for (long i = 0; i < times; ++i) reused += tw::OpenRecord(*record, 1) == 2;
  std::printf("reopen: %d of %ld reused, %.2f ms wall, %.2f ms cpu each\n", reused, times,
              twbench::SecondsSince(start) * 1e3 / static_cast<double>(times),
              twbench::CpuSecondsSince(cpuStart) * 1e3 / static_cast<double>(times));
  tw::ReleaseRecord(*record);
  return reused == times ? 0 : 1;
}

int Insert(const std::string& path, long times) {
  const twbench::ScratchMailRoot root(twbench::ScratchMailRoot::Existing{}, path);
  tw::SetSettings(tw::ReadStoreSettings());
  const std::string from = root.Inbox("fresh"), inbox = root.Inbox("insert");
  std::filesystem::remove_all(inbox);
  std::filesystem::create_directories(inbox);
  for (const char* name : {"_index.xml", "_FOLDER.DAT"})
    std::filesystem::copy_file(from + "/" + name, inbox + "/" + name);
  double wall = 0, cpu = 0, worst = 0;
  long inserted = 0;
  for (long i = 0; i < times; ++i) {
    const uint64_t n = 900000 + static_cast<uint64_t>(i);
    if (!twbench::WriteMessages(inbox, n, n + 1)) return 1;
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    inserted += tw::DirectInsertItems("PO", "insert", "\\Inbox", twbench::MessageName("", n), "") == 1;
    const double took = twbench::SecondsSince(start);
    cpu += twbench::CpuSecondsSince(cpuStart);
    wall += took;
    worst = took > worst ? took : worst;
  }
  std::printf("insert: %ld of %ld, %.2f ms wall (max %.2f), %.2f ms cpu each\n", inserted, times,
              wall * 1e3 / static_cast<double>(times), worst * 1e3, cpu * 1e3 / static_cast<double>(times));
  return inserted == times ? 0 : 1;
}

int Read(const std::string& path) {
  const std::string file = twbench::ScratchMailRoot(twbench::ScratchMailRoot::Existing{}, path).Inbox("fresh") +
                           "/_index.xml";
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  std::error_code ec;
  const auto size = static_cast<size_t>(std::filesystem::file_size(file, ec));
  std::unique_ptr<char[]> buffer(new char[size + 1]);  // untouched: its pages fault in as the read fills them
  size_t got = 0;
  const bool ok = !ec && tw::platform::ReadFileHead(file, buffer.get(), size + 1, got);
  std::printf("read: %zu bytes, wall %.1f ms, cpu %.1f ms\n", got, twbench::SecondsSince(start) * 1e3,
              twbench::CpuSecondsSince(cpuStart) * 1e3);
  return ok && got == size ? 0 : 1;
}

std::string Slurp(const std::string& path) {
  std::ifstream file(path);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The index holds every delivered message once, numbered 1..total in the
// order the messages were inserted, and _FOLDER.DAT agrees.
std::string Check(const std::string& mailbox, const std::string& inbox, long processes, long count) {
  auto record = std::make_unique<STOREINDEXTYPE>();
  OpenRecordFor(*record, mailbox);
  const uint32_t total = static_cast<uint32_t>(processes * count);
  if (tw::OpenRecord(*record, 5) != 1) return "index not loaded";
  tw::SORTEDSTOREINDEXTYPE& index = tw::IndexOf(*record);
  std::string problem;
  if (index.Count() != total) problem = "items " + std::to_string(index.Count()) + " of " + std::to_string(total);
  uint32_t previous = 0;
  for (const auto* item : index.Sequence()) {
    const auto uid = static_cast<uint32_t>(item->GetNumber("UID"));
    if (uid <= previous && problem.empty()) problem = "UID " + std::to_string(uid) + " after " + std::to_string(previous);
    previous = uid;
  }
  if (problem.empty() && index.LastUid() != total) problem = "last UID " + std::to_string(index.LastUid());
  for (long p = 0; p < processes && problem.empty(); ++p)
    for (long n = 0; n < count && problem.empty(); ++n) {
      const std::string name = twbench::MessageName("p" + std::to_string(p) + "-", static_cast<uint64_t>(n));
      if (index.FindById(name) == nullptr) problem = name + " not indexed";
    }
  tw::FolderDetails details;
  tw::ReadFolderDatFile(inbox + "/_FOLDER.DAT", details);
  if (problem.empty() && details.counters[tw::FolderDetails::kItems] != total)
    problem = "_FOLDER.DAT items " + std::to_string(details.counters[tw::FolderDetails::kItems]);
  tw::ReleaseRecord(*record);
  return problem;
}

int Deliveries(const std::string& path, const std::string& bin, long processes, long count, bool index) {
  const twbench::ScratchMailRoot root(twbench::ScratchMailRoot::Existing{}, path);
  tw::SetSettings(tw::ReadStoreSettings());
  const std::string mailbox = std::string(index ? "deliver" : "write") + std::to_string(processes);
  const std::string inbox = root.Inbox(mailbox);
  std::filesystem::remove_all(inbox);
  std::filesystem::create_directories(inbox);
  std::string command;
  for (long p = 0; p < processes; ++p)
    command += "'" + bin + "/store_deliver' '" + path + "' " + mailbox + " " + std::to_string(count) + " p" +
               std::to_string(p) + "- " + (index ? "" : "--no-index ") + ">'" + path + "/out" + std::to_string(p) +
               "' & ";
  command += "wait";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double wall = twbench::SecondsSince(start);
  double cpu = 0;
  long delivered = 0;
  for (long p = 0; p < processes; ++p) {
    const std::string out = Slurp(path + "/out" + std::to_string(p));
    long got = 0;
    double processCpu = 0;
    if (std::sscanf(out.c_str(), "delivered %ld failed %*d wall_ms %*f cpu_ms %lf", &got, &processCpu) == 2) {
      delivered += got;
      cpu += processCpu;
    }
  }
  const std::string problem = index ? Check(mailbox, inbox, processes, count) : "";
  std::printf("%s: %ld processes x %ld: %ld done in %.2f s wall (%.0f/s), %.2f s cpu in all (%.0f us cpu each)%s%s\n",
              index ? "deliveries" : "writes only", processes, count, delivered, wall,
              static_cast<double>(delivered) / wall, cpu / 1e3, cpu * 1e3 / static_cast<double>(delivered),
              problem.empty() ? (index ? ", check passed" : "") : ", CHECK FAILED: ", problem.c_str());
  return status == 0 && delivered == processes * count && problem.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  long a = 0, b = 0;
  if (command == "prepare" && argc == 4 && Number(argv[3], kMostMessages, a)) return Prepare(argv[2], a);
  if (command == "scan" && argc == 3) return Scan(argv[2]);
  if (command == "open" && argc == 3) return Open(argv[2]);
  if (command == "read" && argc == 3) return Read(argv[2]);
  if (command == "insert" && argc == 4 && Number(argv[3], kMostMessages, a)) return Insert(argv[2], a);
  if (command == "reopen" && argc == 4 && Number(argv[3], kMostMessages, a)) return Reopen(argv[2], a);
  if (command == "deliveries" && (argc == 6 || (argc == 7 && std::string(argv[6]) == "--no-index")) &&
      Number(argv[4], kMostProcesses, a) && Number(argv[5], kMostMessages, b))
    return Deliveries(argv[2], argv[3], a, b, argc == 6);
  return Usage();
}
