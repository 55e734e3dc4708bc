// The crash test's worker: a seeded random sequence of the write paths of
// one mail folder (deliveries as `twstore deliver` makes them, direct
// updates, removals of deleted messages, record sessions that change flags
// or remove items and save or commit, rebuilds, backups), each announced in
// a log before it starts and after it ends (support/crash_log.h). At the
// N-th mutating file operation of the platform layer it kills itself with
// SIGKILL, after writing only K bytes when that operation is a write.
//
//   tw_crash_worker --postoffice P --mailbox M --folder F --sources DIR
//                   --log FILE --seed S --ops COUNT [--kill-at N] [--kill-bytes K]
//
// Settings come from TW_REGISTRY_FILE. Waits do not sleep: a block left by a
// killed worker is broken after its counted waits at once.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "frame/settings.h"
#include "frame/store_paths.h"
#include "index/file/serialisation_settings.h"
#include "index/items/index_item.h"
#include "index/lifecycle/direct_operations.h"
#include "index/lifecycle/index_removal.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/mutation_hook.h"
#include "platform/sleep.h"
#include "support/crash_log.h"

namespace fs = std::filesystem;
using tw::test::CrashOp;

namespace {

struct Options {
  std::string postoffice = "PO";
  std::string mailbox = "bob";
  std::string folder = "\\Inbox";
  std::string sources;
  std::string log;
  uint32_t seed = 1;
  uint32_t ops = 8;
  uint64_t killAt = 0;     // 0: never
  int64_t killBytes = -1;  // -1: a write is not begun
};

// The folder holds at most this many messages; beyond, deliveries give way
// to removals.
constexpr size_t kFolderLimit = 40;

FILE* g_log = nullptr;
uint64_t g_mutations = 0;
uint64_t g_killAt = 0;
int64_t g_killBytes = -1;

void LogLine(const std::string& line) {
  std::fputs(line.c_str(), g_log);
  std::fflush(g_log);
}

std::string DescriptorPath(int fd) {
  char path[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = readlink(link.c_str(), path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : "fd " + std::to_string(fd);
}

void OnMutation(const tw::platform::MutationEvent& event) {
  using tw::platform::Mutation;
  if (++g_mutations != g_killAt) return;
  const bool writing = event.kind == Mutation::Write && event.size > 0 && event.descriptor >= 0;
  const uint64_t partial = writing && g_killBytes >= 0 ? static_cast<uint64_t>(g_killBytes) % event.size : 0;
  std::string what = tw::platform::MutationName(event.kind);
  what += " " + (event.path.empty() ? DescriptorPath(event.descriptor) : std::string(event.path));
  if (writing) what += " (" + std::to_string(partial) + " of " + std::to_string(event.size) + " bytes written)";
  LogLine("K\t" + std::to_string(g_mutations) + "\t" + what + "\n");
  const char* bytes = static_cast<const char*>(event.data);
  for (uint64_t done = 0; done < partial;) {
    const ssize_t n = write(event.descriptor, bytes + done, partial - done);
    if (n <= 0) break;
    done += static_cast<uint64_t>(n);
  }
  kill(getpid(), SIGKILL);
}

// Counted waits do not sleep; what they would have slept is reported.
uint64_t g_sleptMilliseconds = 0;
void NoSleep(uint32_t milliseconds) { g_sleptMilliseconds += milliseconds; }

void End(uint32_t number, int32_t result, const std::string& name = "") {
  LogLine(tw::test::CrashEndLine(number, result, name));
  if (g_sleptMilliseconds == 0) return;
  LogLine("W\t" + std::to_string(number) + "\t" + std::to_string(g_sleptMilliseconds) + "\n");
  g_sleptMilliseconds = 0;
}

class Worker {
 public:
  explicit Worker(const Options& options)
      : o_(options),
        random_(options.seed),
        directory_(tw::FolderDirectoryForIndex(options.postoffice, options.mailbox, options.folder)),
        systemDirectory_(tw::platform::ToSystemPath(directory_)) {}

  void Run() {
    for (uint32_t i = 0; i < o_.ops; ++i) {
      const uint32_t roll = Below(100);
      const size_t count = Messages().size();
      if (roll < 30) {
        if (count >= kFolderLimit) Expunge(false);
        else Deliver();
      } else if (roll < 50) {
        Update();
      } else if (roll < 60) {
        Expunge(false);
      } else if (roll < 80) {
        Record();
      } else if (roll < 88) {
        Reindex();
      } else if (tw::BackupIndexOn()) {
        Backup();
      } else {
        Deliver();
      }
    }
  }

 private:
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(random_() % n); }

  std::vector<std::string> Messages() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(systemDirectory_, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.size() == 12 && name.substr(8) == ".MAI") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // One to `most` message names of the folder; now and then a name that no
  // message ever had.
  std::vector<std::string> Targets(uint32_t most) {
    const std::vector<std::string> names = Messages();
    std::vector<std::string> ids;
    const uint32_t n = 1 + Below(most);
    for (uint32_t i = 0; i < n; ++i) {
      if (names.empty() || Below(12) == 0)
        ids.push_back("0000000" + std::to_string(Below(10)) + ".MAI");
      else
        ids.push_back(names[Below(static_cast<uint32_t>(names.size()))]);
    }
    return ids;
  }

  uint32_t Begin(CrashOp op) {
    op.number = ++number_;
    LogLine(tw::test::CrashBeginLine(op));
    return op.number;
  }

  void Deliver() {
    static const char* const kFlags[] = {"", "", "", "\\SEEN", "\\FLAGGED", "\\SEEN \\FLAGGED", "\\ANSWERED"};
    CrashOp op;
    op.kind = CrashOp::Kind::Deliver;
    op.text = kFlags[Below(7)];
    const std::string source = o_.sources + "/message-" + std::to_string(o_.seed) + "-" +
                               std::to_string(number_ + 1) + ".eml";
    {
      std::ofstream out(source, std::ios::binary | std::ios::trunc);
      out << "From: sender" << Below(1000) << "@example.com\r\nSubject: round " << o_.seed << " message "
          << number_ + 1 << "\r\n\r\n";
      for (uint32_t lines = Below(3) == 0 ? 200 : 3; lines > 0; --lines) out << "body line " << lines << "\r\n";
    }
    const std::vector<std::string> before = Messages();
    const uint32_t number = Begin(op);
    tw::cli::DeliverRequest request;
    request.target = {o_.postoffice, o_.mailbox, o_.folder};
    request.files = {source};
    request.flags = op.text;
    std::ostringstream out;
    std::ostringstream err;
    const int rc = tw::cli::Deliver(request, tw::cli::Console{}, out, err);
    std::string made;
    for (const std::string& name : Messages())
      if (!std::binary_search(before.begin(), before.end(), name)) made = name;
    End(number, rc == 0 ? 1 : 0, made);
    std::remove(source.c_str());
  }

  void Update() {
    static const char* const kChanges[] = {"+\\SEEN",    "-\\SEEN",           "+\\FLAGGED", "-\\FLAGGED",
                                           "+\\ANSWERED -\\SEEN", "\\ANSWERED \\SEEN", "\\FLAGGED", "+\\DELETED",
                                           "-\\RECENT",  "+\\SEEN +\\FLAGGED", "SIZE=1234", "+\\DRAFT -\\DELETED"};
    CrashOp op;
    op.kind = CrashOp::Kind::Update;
    op.ids = Targets(3);
    op.text = kChanges[Below(12)];
    const uint32_t number = Begin(op);
    End(number, tw::DirectUpdateItems(o_.postoffice, o_.mailbox, o_.folder, tw::test::JoinIds(op.ids), op.text));
  }

  // Deletes message files as an expunging service does, one operation
  // each; the names deleted, to be removed from the index next.
  std::vector<std::string> DeleteFiles(uint32_t most) {
    std::vector<std::string> ids = Targets(most);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    for (const std::string& id : ids) {
      CrashOp op;
      op.kind = CrashOp::Kind::Delete;
      op.ids = {id};
      const uint32_t number = Begin(op);
      End(number, tw::platform::DeleteFile(directory_ + "\\" + id) ? 1 : 0);
    }
    return ids;
  }

  // Deletes messages, then removes them from the index: directly, or in a
  // record session.
  void Expunge(bool inRecord) {
    const std::vector<std::string> ids = DeleteFiles(2);
    if (inRecord) return Session(ids);
    CrashOp op;
    op.kind = CrashOp::Kind::Remove;
    op.ids = ids;
    const uint32_t number = Begin(op);
    End(number, tw::DirectRemoveItems(o_.postoffice, o_.mailbox, o_.folder, tw::test::JoinIds(ids)));
  }

  void Record() {
    if (Below(3) == 0) return Expunge(true);
    Session({});
  }

  std::unique_ptr<STOREINDEXTYPE> NewRecord() {
    auto record = std::make_unique<STOREINDEXTYPE>();
    tw::InitRecord(*record);
    tw::SetRecordText(record->postoffice, o_.postoffice);
    tw::SetRecordText(record->mailbox, o_.mailbox);
    tw::SetRecordText(record->folder, o_.folder);
    tw::SetRecordPaths(*record);
    return record;
  }

  // A service's session: open, change flags of some items, remove
  // `removes`, then save or commit.
  void Session(const std::vector<std::string>& removes) {
    static const uint32_t kModes[] = {1, 1, 1, 4, 0, 5};
    static const char* const kWords[] = {"\\SEEN", "\\FLAGGED", "\\ANSWERED", "\\DELETED", "\\DRAFT", "\\RECENT"};
    CrashOp op;
    op.kind = CrashOp::Kind::Record;
    op.mode = kModes[Below(6)];
    op.commit = Below(2) == 0;
    const std::vector<std::string> targets = Targets(3);
    std::vector<std::string> flags;
    for (size_t i = 0; i < targets.size(); ++i) {
      std::string text;
      for (const char* word : kWords)
        if (Below(3) == 0) text += std::string(text.empty() ? "" : " ") + word;
      flags.push_back(text);
    }
    const uint32_t number = Begin(op);
    auto record = NewRecord();
    if (tw::OpenRecord(*record, op.mode) == 0) {
      End(number, 0);
      tw::ReleaseRecord(*record);
      return;
    }
    tw::SORTEDSTOREINDEXTYPE& index = tw::IndexOf(*record);
    for (size_t i = 0; i < targets.size(); ++i) {
      tw::IndexItemPropertyContainer* item = index.FindById(targets[i]);
      if (item == nullptr) continue;
      tw::IndexItem(item, false).Set("FLAGSTATUS", flags[i]);
      record->changed = 1;
      LogLine("S\t" + std::to_string(number) + "\t" + targets[i] + "\t" + flags[i] + "\n");
    }
    if (!removes.empty() && tw::RemoveFromIndex(index, tw::test::JoinIds(removes), nullptr, nullptr))
      record->changed = 1;
    if (!removes.empty()) LogLine("R\t" + std::to_string(number) + "\t" + tw::test::JoinIds(removes) + "\n");
    LogLine("P\t" + std::to_string(number) + "\n");
    const int32_t result = op.commit ? tw::CommitRecord(*record) : tw::SaveRecord(*record);
    End(number, result == 0 ? 0 : 1);
    tw::ReleaseRecord(*record);
  }

  void Reindex() {
    CrashOp op;
    op.kind = CrashOp::Kind::Reindex;
    op.mode = Below(2) == 0 ? 2 : 0;
    const uint32_t number = Begin(op);
    auto record = NewRecord();
    const int32_t result = op.mode == 2 ? tw::OpenRecord(*record, 2) : tw::ScanRecord(*record, tw::kScanExplicit);
    End(number, result == 0 ? 0 : 1);
    tw::ReleaseRecord(*record);
  }

  // A complete load makes the backup when there is none.
  void Backup() {
    CrashOp op;
    op.kind = CrashOp::Kind::Backup;
    const uint32_t number = Begin(op);
    tw::platform::DeleteFile(directory_ + "\\_index.xml.bak");
    auto record = NewRecord();
    const int32_t result = tw::OpenRecord(*record, 5);
    End(number, result == 0 ? 0 : 1);
    tw::ReleaseRecord(*record);
  }

  Options o_;
  std::mt19937 random_;
  std::string directory_;        // as the store names it
  std::string systemDirectory_;  // as the system names it
  uint32_t number_ = 0;
};

int Usage() {
  std::fprintf(stderr,
               "usage: tw_crash_worker --sources DIR --log FILE --seed S --ops COUNT [--kill-at N] "
               "[--kill-bytes K] [--postoffice P --mailbox M --folder F]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::map<std::string, std::string> args;
  for (int i = 1; i + 1 < argc; i += 2) args[argv[i]] = argv[i + 1];
  if (argc % 2 == 0 || !args.count("--sources") || !args.count("--log") || !args.count("--seed")) return Usage();
  o.sources = args["--sources"];
  o.log = args["--log"];
  o.seed = static_cast<uint32_t>(std::strtoul(args["--seed"].c_str(), nullptr, 10));
  if (args.count("--ops")) o.ops = static_cast<uint32_t>(std::strtoul(args["--ops"].c_str(), nullptr, 10));
  if (args.count("--kill-at")) o.killAt = std::strtoull(args["--kill-at"].c_str(), nullptr, 10);
  if (args.count("--kill-bytes")) o.killBytes = std::strtoll(args["--kill-bytes"].c_str(), nullptr, 10);
  if (args.count("--postoffice")) o.postoffice = args["--postoffice"];
  if (args.count("--mailbox")) o.mailbox = args["--mailbox"];
  if (args.count("--folder")) o.folder = args["--folder"];

  g_log = std::fopen(o.log.c_str(), "a");
  if (g_log == nullptr) return Usage();
  tw::SetSettings(tw::ReadStoreSettings());
  tw::platform::SetSleepFunction(NoSleep);
  tw::platform::SetEventSink([](const tw::platform::EventEntry& entry) {
    std::fprintf(stderr, "event: %s%s\n", entry.text1.c_str(), entry.text2.c_str());
  });
  g_killAt = o.killAt;
  g_killBytes = o.killBytes;
  tw::platform::SetMutationHook(OnMutation);

  Worker(o).Run();
  tw::platform::SetMutationHook(nullptr);
  LogLine("D\t" + std::to_string(g_mutations) + "\n");
  std::fclose(g_log);
  return 0;
}
