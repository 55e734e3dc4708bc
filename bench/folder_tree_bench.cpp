// Folder trees through the exported interface: a client listing every
// folder of a 1,000-folder mailbox at log-in (with the folder indexes
// rebuilt from the directories, and as left by the last listing), and the
// size of a 100-folder mailbox of 100,000 indexed messages. Each beside a
// plain recursive walk of the same tree, so the figures read against the
// file system's own cost.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "store_mail_files.h"
#include "twstore.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kPostoffice = "PO";
constexpr const char* kListedMailbox = "lister";
constexpr const char* kSizedMailbox = "sizer";

// 10 top-level folders of 98 each, and one folder a level deeper under the
// first of each: 1,000 folders.
constexpr int kListedSubFolders = 98;
// 10 top-level folders of 9 each: 100 folders of 1,000 messages.
constexpr int kSizedSubFolders = 9;
constexpr int kMessagesPerFolder = 1000;

const char* const kTopFolders[] = {"Inbox",    "Sent Items", "Deleted Items", "Drafts", "Archive",
                                   "Projects", "Clients",    "Lists",         "Travel", "Receipts"};

// The whole tree goes when the program ends.
twbench::ScratchMailRoot& Root() {
  static twbench::ScratchMailRoot root("twtree");
  return root;
}

std::string MailboxDirectory(const std::string& mailbox) {
  return Root().path() + "/MAIL/PO/MAILROOT/" + mailbox;
}

std::string SubFolderName(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "Folder %03d", i);
  return text;
}

FolderRecord Record(const std::string& mailbox, const std::string& path) {
  FolderRecord record;
  std::memset(&record, 0, sizeof record);
  std::snprintf(record.mailbox, sizeof record.mailbox, "%s", mailbox.c_str());
  std::snprintf(record.postoffice, sizeof record.postoffice, "%s", kPostoffice);
  std::snprintf(record.path, sizeof record.path, "%s", path.c_str());
  return record;
}

// The library read its settings when it was loaded, before the scratch
// root's registry was in place.
bool LibraryStarted() {
  static const bool started = [] {
    Root();
    return StoreLibrary_Init() != 0;
  }();
  return started;
}

// Every directory of the listed mailbox, the mailbox itself first.
const std::vector<std::string>& ListedDirectories() {
  static const std::vector<std::string> directories = [] {
    if (!LibraryStarted()) return std::vector<std::string>();
    const std::string mailbox = MailboxDirectory(kListedMailbox);
    std::vector<std::string> all{mailbox};
    for (const char* top : kTopFolders) {
      const std::string topDirectory = mailbox + "/" + top;
      all.push_back(topDirectory);
      for (int i = 0; i < kListedSubFolders; ++i) all.push_back(topDirectory + "/" + SubFolderName(i));
      all.push_back(topDirectory + "/" + SubFolderName(0) + "/Older");
    }
    for (const std::string& directory : all) fs::create_directories(directory);
    return all;
  }();
  return directories;
}

// Lists the folder at `path`, then each of its sub-folders, depth first as
// a client does at log-in: the names first, since the thread has one
// search. The number of folders found.
size_t ListTree(const std::string& path) {
  FolderRecord record = Record(kListedMailbox, path);
  std::vector<std::string> names;
  for (uint32_t more = StoreFolderFindFirst(&record); more == 1; more = StoreFolderFindNext(&record))
    names.emplace_back(record.name);
  StoreFolderFindClose(&record);
  size_t found = names.size();
  for (const std::string& name : names) found += ListTree((path == "\\" ? path : path + "\\") + name);
  return found;
}

void DeleteFolderIndexes() {
  for (const std::string& directory : ListedDirectories()) fs::remove(directory + "/_folder.xml");
}

// Arg 1: every _folder.xml deleted before each pass, so each list is
// rebuilt from its directory; 0: the files the last pass left.
void BM_ListMailbox(benchmark::State& state) {
  const bool cold = state.range(0) == 1;
  if (ListedDirectories().empty()) return state.SkipWithError("the library did not start");
  const size_t expected = ListedDirectories().size() - 1;
  if (ListTree("\\") != expected) return state.SkipWithError("the listing missed folders");
  size_t folders = 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      DeleteFolderIndexes();
      state.ResumeTiming();
    }
    folders += ListTree("\\");
  }
  if (folders != expected * state.iterations()) return state.SkipWithError("the listing missed folders");
  state.SetItemsProcessed(static_cast<int64_t>(folders));
  state.SetLabel(cold ? "folder indexes rebuilt" : "folder indexes current");
}

// The file system alone: the same tree walked, directories counted.
void BM_ListMailboxPlainWalk(benchmark::State& state) {
  if (ListedDirectories().empty()) return state.SkipWithError("the library did not start");
  const std::string mailbox = ListedDirectories().front();
  size_t folders = 0;
  for (auto _ : state) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(mailbox))
      if (entry.is_directory()) ++folders;
  }
  state.SetItemsProcessed(static_cast<int64_t>(folders));
}

// A small plain-text message: 0.5 to 1.5 KiB.
std::string SmallMessage(uint64_t n) {
  twbench::Dice dice(n + 7);
  std::string text = "Return-Path: <" + twbench::Hex(dice, 10) + "@example.org>\r\n";
  text += "From: " + twbench::Address(dice) + "\r\n";
  text += "To: " + twbench::AddressList(dice, 1 + dice.Below(3)) + "\r\n";
  text += "Subject: Meeting notes " + std::to_string(n) + "\r\n";
  text += "Date: " + twbench::MessageDate(dice) + "\r\n";
  text += "Message-ID: <" + twbench::Hex(dice, 24) + "@mail.example.org>\r\n";
  text += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n";
  for (uint32_t i = 0, lines = 3 + dice.Below(14); i < lines; ++i)
    text += "Notes from the meeting, item " + std::to_string(i) + ", to be read before Monday.\r\n";
  return text;
}

struct SizedMailbox {
  std::string directory;
  uint64_t messageBytes = 0;  // the message files' sizes added up
  bool ready = false;
};

// Writes each folder's messages and indexes them through the library,
// then sizes the tree once, so that every folder index is current.
const SizedMailbox& Sized() {
  static const SizedMailbox sized = [] {
    SizedMailbox out;
    if (!LibraryStarted()) return out;
    out.directory = MailboxDirectory(kSizedMailbox);
    uint64_t n = 0;
    for (const char* top : kTopFolders) {
      std::vector<std::string> paths{std::string("\\") + top};
      for (int i = 0; i < kSizedSubFolders; ++i) paths.push_back(paths.front() + "\\" + SubFolderName(i));
      for (const std::string& path : paths) {
        std::string directory = out.directory + path;
        for (char& c : directory)
          if (c == '\\') c = '/';
        fs::create_directories(directory);
        std::string ids;
        for (int i = 0; i < kMessagesPerFolder; ++i, ++n) {
          const std::string name = twbench::MessageName("", 0xA000 + n);
          const std::string text = SmallMessage(n);
          std::ofstream file(directory + "/" + name, std::ios::binary);
          file.write(text.data(), static_cast<std::streamsize>(text.size()));
          if (!file) return out;
          out.messageBytes += text.size();
          ids += (ids.empty() ? "" : ",") + name;
        }
        if (Direct_StoreIndex_InsertItem(kPostoffice, kSizedMailbox, path.c_str(), ids.c_str()) != 1) return out;
      }
    }
    FolderRecord root = Record(kSizedMailbox, "\\");
    out.ready = StoreFolderGet(&root) == 1 && root.total == out.messageBytes;
    return out;
  }();
  return sized;
}

constexpr int64_t kSizedMessages = int64_t{10} * (kSizedSubFolders + 1) * kMessagesPerFolder;

// The mailbox root record: every folder's indexed bytes added up.
void BM_SizeMailbox(benchmark::State& state) {
  if (!Sized().ready) return state.SkipWithError("the sized mailbox could not be made");
  uint64_t total = 0;
  for (auto _ : state) {
    FolderRecord root = Record(kSizedMailbox, "\\");
    StoreFolderGet(&root);
    total = root.total;
  }
  if (total != Sized().messageBytes) return state.SkipWithError("the size differs from the files'");
  state.SetItemsProcessed(state.iterations() * kSizedMessages);
  state.counters["MB"] = static_cast<double>(total) / 1e6;
}

// The file system alone: every file of the tree stat'ed and its size added.
void BM_SizeMailboxPlainWalk(benchmark::State& state) {
  if (!Sized().ready) return state.SkipWithError("the sized mailbox could not be made");
  uint64_t total = 0, files = 0;
  for (auto _ : state) {
    total = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Sized().directory)) {
      if (!entry.is_regular_file()) continue;
      total += entry.file_size();
      ++files;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(files));
  state.counters["MB"] = static_cast<double>(total) / 1e6;
}

}  // namespace

BENCHMARK(BM_ListMailbox)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListMailboxPlainWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SizeMailbox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SizeMailboxPlainWalk)->Unit(benchmark::kMillisecond);
