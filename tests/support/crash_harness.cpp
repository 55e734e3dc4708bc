#include "support/crash_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <set>

#include "index/items/sorted_store_index.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "support/crash_log.h"
#include "support/crash_model.h"
#include "support/inbox_fixture.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tw::test {
namespace {

constexpr uint32_t kOpsPerRound = 8;
// Kill points are drawn up to a little beyond the most mutations a worker
// that was not killed needed so far.
constexpr uint64_t kFirstKillRange = 60;
constexpr size_t kOutputTail = 1500;

std::string Words(const FolderDetails& d) {
  std::string text;
  for (int i = 0; i < FolderDetails::kCount; ++i) text += (i ? " " : "") + std::to_string(d.counters[i]);
  return text;
}

std::string Tail(const std::string& text, size_t most) {
  return text.size() <= most ? text : "..." + text.substr(text.size() - most);
}

class Runner {
 public:
  explicit Runner(const CrashSwitches& s) {
    inbox_.Use({.streamLoad = s.stream, .streamSave = s.stream, .oldFormat = true, .backup = s.backup},
               s.backup ? DwordValue("Backup Index Interval", 0) : "");
    MakeDirs(work_ / "sources");
    trace_ = std::getenv("TW_CRASH_TRACE") != nullptr;
  }

  // TW_CRASH_KEEP names a directory that gets a copy of the folder (and the
  // last round's log) as the run left it.
  ~Runner() {
    const char* keep = std::getenv("TW_CRASH_KEEP");
    if (keep == nullptr || *keep == '\0') return;
    std::error_code ec;
    fs::remove_all(keep, ec);
    fs::create_directories(keep, ec);
    fs::copy(inbox_.Dir(), std::string(keep) + "/Inbox", fs::copy_options::recursive, ec);
    fs::copy(work_ / "round.log", std::string(keep) + "/round.log", ec);
    fs::copy(work_ / "worker.out", std::string(keep) + "/worker.out", ec);
  }

  // Runs one round and checks the folder; false, with `result` filled in,
  // when a check failed with a kind not ignored.
  bool Round(const CrashRound& round, size_t number, const CrashRunOptions& options, CrashRunResult& result) {
    eventsBefore_ = inbox_.Log().size();
    WriteFile(work_ / "round.log", "");
    WriteFile(work_ / "worker.out", "");
    const int status = Spawn(round);
    const CrashLog log = ParseCrashLog(ReadFile(work_ / "round.log"));
    finishedMutations_ = log.finished ? log.mutations : 0;
    const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (killed) ++result.kills;
    for (const CrashOp& op : log.ops)
      if (op.ended && op.result != 1) ++result.failedOps[CrashKindName(op.kind)];

    std::vector<Violation> violations;
    if (!killed && !(WIFEXITED(status) && WEXITSTATUS(status) == 0 && log.finished))
      violations.push_back(
          {"worker-failed", "the worker ended with status " + std::to_string(status) + " without being killed"});
    else
      violations = Check(log);
    const Violation* failure = nullptr;
    for (const Violation& v : violations) {
      if (!options.ignore.count(v.kind)) {
        failure = &v;
        break;
      }
      ++result.ignored[v.kind];
    }
    if (trace_)
      std::fprintf(stderr, "round %zu: %s, %zu operations%s%s\n", number,
                   killed ? ("killed at " + log.killedAt).c_str() : "not killed", log.ops.size(),
                   log.InFlight() ? (", in flight " + log.InFlight()->Describe()).c_str() : "",
                   violations.empty() ? "" : (" -> " + violations.front().kind).c_str());
    if (failure == nullptr) return true;
    result.failed = true;
    result.kind = failure->kind;
    result.report = Report(round, number, log, killed, *failure);
    return false;
  }

  uint64_t FinishedMutations() const { return finishedMutations_; }

 private:
  int Spawn(const CrashRound& round) {
    const std::string program = std::string(TW_TEST_BIN_DIR) + "/tw_crash_worker";
    const std::vector<std::string> args = {program,
                                           "--sources", work_ / "sources",
                                           "--log", work_ / "round.log",
                                           "--seed", std::to_string(round.seed),
                                           "--ops", std::to_string(kOpsPerRound),
                                           "--kill-at", std::to_string(round.killAt),
                                           "--kill-bytes", std::to_string(round.killBytes)};
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const std::string output = work_ / "worker.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
  }

  std::set<std::string> MessageFiles() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(inbox_.Dir())) {
      const std::string name = entry.path().filename().string();
      if (name.size() > 4 && name.substr(name.size() - 4) == ".MAI" && name[0] != '_' && name[0] != '.')
        names.insert(name);
    }
    return names;
  }

  // Opens the folder as a service does, checks what it lists, saves it and
  // recounts; every violation found, in that order.
  std::vector<Violation> Check(const CrashLog& log) {
    std::vector<Violation> found;
    auto record = std::make_unique<STOREINDEXTYPE>();
    struct Releaser {
      STOREINDEXTYPE& r;
      ~Releaser() { ReleaseRecord(r); }
    } releaser{*record};
    const uint64_t sleptBefore = FastSleep::TotalMilliseconds();
    const int32_t opened = inbox_.Open(*record, 1);
    if (opened != 1) return {{"open-failed", "an open in mode 1 returned " + std::to_string(opened)}};
    FolderView view;
    view.lastUid = record->lastUid;
    for (const auto* item : IndexOf(*record).ByUid())
      view.items[item->GetText("ID")] = {static_cast<uint32_t>(item->GetNumber("UID")),
                                         FlagWordsOf(item->GetText("FLAGSTATUS")), item->GetText("FLAGSTATUS")};
    if (auto violation = model_.CheckRound(log, view, MessageFiles())) found.push_back(*violation);

    record->changed = 1;
    if (const int32_t saved = CommitRecord(*record); saved != 1) {
      found.push_back({"save-failed", "the save after the open returned " + std::to_string(saved)});
    } else {
      const FolderDetails counted = CountedDetails(view);
      const FolderDetails stored = inbox_.FolderDat();
      bool same = stored.counters[FolderDetails::kLastUid] >= view.lastUid;
      for (int i = FolderDetails::kAnswered; i <= FolderDetails::kRecent; ++i)
        same = same && stored.counters[i] == counted.counters[i];
      if (!same)
        found.push_back({"counters", "after the save _FOLDER.DAT holds [" + Words(stored) + "], a recount gives [" +
                                         Words(counted) + "] (words 3-8 equal, word 11 at least LASTUID)"});
    }

    const std::string content = ReadFile(inbox_.File("_index.xml"));
    std::map<std::string, int> elements;
    for (size_t at = 0; (at = content.find("<ELEMENT ID=\"", at)) != std::string::npos;) {
      at += 13;
      const std::string id = content.substr(at, content.find('"', at) - at);
      if (id.find_first_not_of('-') != std::string::npos && ++elements[id] == 2) {
        found.push_back({"duplicate-element", "_index.xml holds " + id + " more than once after the save"});
        break;
      }
    }

    // Nobody else works on the folder: a wait can only be for what a killed
    // worker left behind, such as its block file.
    if (const uint64_t slept = FastSleep::TotalMilliseconds() - sleptBefore; slept > 0)
      found.push_back({"waited", "the open and save after the round waited " + std::to_string(slept) +
                                     " ms in counted waits"});
    for (const CrashOp& op : log.ops)
      if (op.waitedMs > 0)
        found.push_back({"waited", op.Describe() + ": it waited for what an earlier killed worker left behind"});
    return found;
  }

  std::string Report(const CrashRound& round, size_t number, const CrashLog& log, bool killed,
                     const Violation& violation) {
    std::string text = "round " + std::to_string(number) + " (worker seed " + std::to_string(round.seed) +
                       ", kill point " + std::to_string(round.killAt) +
                       (round.killBytes >= 0 ? ", bytes " + std::to_string(round.killBytes) : "") + "): ";
    text += killed ? "killed before " + log.killedAt : "not killed";
    text += "\nin flight: " + (log.InFlight() ? log.InFlight()->Describe() : std::string("nothing"));
    text += "\noperations of the round:\n";
    for (const CrashOp& op : log.ops) text += "  " + op.Describe() + "\n";
    text += "violated [" + violation.kind + "]: " + violation.message + "\n";
    const std::string events = inbox_.Log().substr(eventsBefore_);
    if (!events.empty()) text += "events of the check:\n" + Tail(events, kOutputTail) + "\n";
    const std::string output = ReadFile(work_ / "worker.out");
    if (!output.empty()) text += "worker output:\n" + Tail(output, kOutputTail) + "\n";
    return text;
  }

  InboxFixture inbox_;
  ScratchDir work_;
  CrashModel model_;
  size_t eventsBefore_ = 0;
  uint64_t finishedMutations_ = 0;
  bool trace_ = false;
};

}  // namespace

std::string CrashSwitches::Describe() const {
  return std::string(stream ? "stream" : "document") + " serialiser, Backup Index " + (backup ? "1" : "0");
}

std::string CrashSwitches::Name() const {
  return std::string(stream ? "Stream" : "Document") + (backup ? "Backup" : "NoBackup");
}

std::string CrashSwitches::Text() const {
  return std::string(stream ? "stream" : "document") + (backup ? "+backup" : "");
}

bool CrashSwitches::Parse(const std::string& text, CrashSwitches& switches) {
  for (const bool stream : {false, true})
    for (const bool backup : {false, true})
      if (CrashSwitches{stream, backup}.Text() == text) {
        switches = {stream, backup};
        return true;
      }
  return false;
}

std::string RoundsText(const std::vector<CrashRound>& rounds) {
  std::string text;
  for (const CrashRound& r : rounds)
    text += (text.empty() ? "" : ",") + std::to_string(r.seed) + ":" + std::to_string(r.killAt) + ":" +
            std::to_string(r.killBytes);
  return text;
}

bool ParseRounds(const std::string& text, std::vector<CrashRound>& rounds) {
  rounds.clear();
  for (const std::string& entry : SplitIds(text)) {
    CrashRound r;
    unsigned long long killAt = 0;
    long long bytes = 0;
    unsigned long seed = 0;
    if (std::sscanf(entry.c_str(), "%lu:%llu:%lld", &seed, &killAt, &bytes) != 3) return false;
    r.seed = static_cast<uint32_t>(seed);
    r.killAt = killAt;
    r.killBytes = bytes;
    rounds.push_back(r);
  }
  return !rounds.empty();
}

CrashRunResult RunCrashRounds(const CrashSwitches& switches, uint32_t seed, size_t count,
                              const CrashRunOptions& options) {
  Runner runner(switches);
  CrashRunResult result;
  std::mt19937 random(seed);
  uint64_t range = kFirstKillRange;
  for (size_t i = 0; i < count; ++i) {
    CrashRound round;
    round.seed = static_cast<uint32_t>(random());
    // One round in eight runs to its end, so that plain runs are checked too.
    round.killAt = random() % 8 == 0 || !options.kills ? 0 : 1 + random() % range;
    round.killBytes = random() % 2 == 0 ? -1 : static_cast<int64_t>(random());
    result.rounds.push_back(round);
    if (!runner.Round(round, i + 1, options, result)) return result;
    const uint64_t needed = runner.FinishedMutations();
    result.mostMutations = std::max(result.mostMutations, needed);
    range = std::max(range, needed + needed / 4);
  }
  return result;
}

CrashRunResult ReplayCrashRounds(const CrashSwitches& switches, const std::vector<CrashRound>& rounds,
                                 const CrashRunOptions& options) {
  Runner runner(switches);
  CrashRunResult result;
  for (size_t i = 0; i < rounds.size(); ++i) {
    result.rounds.push_back(rounds[i]);
    if (!runner.Round(rounds[i], i + 1, options, result)) return result;
  }
  return result;
}

std::vector<CrashRound> ShrinkCrashRounds(const CrashSwitches& switches, const std::vector<CrashRound>& rounds,
                                          const std::string& kind, size_t budget,
                                          const CrashRunOptions& options) {
  std::vector<CrashRound> current = rounds;
  size_t runs = 0;
  auto tryCandidate = [&](const std::vector<CrashRound>& candidate) {
    if (runs >= budget || candidate.empty()) return false;
    ++runs;
    const CrashRunResult r = ReplayCrashRounds(switches, candidate, options);
    if (!r.failed || r.kind != kind) return false;
    current = r.rounds;
    return true;
  };
  for (size_t chunk = std::max<size_t>(current.size() / 2, 1); runs < budget; chunk = std::max<size_t>(chunk / 2, 1)) {
    bool progress = false;
    for (size_t start = 0; start + chunk <= current.size() && runs < budget;) {
      std::vector<CrashRound> candidate(current.begin(), current.begin() + static_cast<std::ptrdiff_t>(start));
      candidate.insert(candidate.end(), current.begin() + static_cast<std::ptrdiff_t>(start + chunk), current.end());
      if (tryCandidate(candidate))
        progress = true;
      else
        start += chunk;
    }
    if (chunk == 1 && !progress) break;
  }
  return current;
}

}  // namespace tw::test
