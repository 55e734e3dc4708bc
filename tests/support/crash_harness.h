// The crash test: rounds of a worker process (tests/helpers/crash_worker.cpp)
// killed at a chosen mutating file operation, each followed, with no manual
// step, by an open of the folder as a service makes it and the checks of
// support/crash_model.h, a save, and a recount of the folder's counters.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tw::test {

struct CrashSwitches {
  bool stream = false;  // both "Use XML Stream Index ..." switches; else the document serialiser
  bool backup = false;  // "Backup Index" (with "Backup Index Interval" 0)
  std::string Describe() const;  // "stream serialiser, Backup Index 1"
  std::string Name() const;      // "StreamBackup"
  // "document", "stream", "document+backup" or "stream+backup".
  std::string Text() const;
  static bool Parse(const std::string& text, CrashSwitches& switches);
};

// One round: the worker's seed and where it is killed.
struct CrashRound {
  uint32_t seed = 0;
  uint64_t killAt = 0;     // the mutating operation it dies at; 0: it is not killed
  int64_t killBytes = -1;  // at a write: bytes (modulo its length) written first; -1: none
};

// "SEED:KILL:BYTES,..." and back.
std::string RoundsText(const std::vector<CrashRound>& rounds);
bool ParseRounds(const std::string& text, std::vector<CrashRound>& rounds);

struct CrashRunOptions {
  bool kills = true;              // false: no worker is killed, the checks must hold on plain runs
  std::set<std::string> ignore;   // failure kinds that are counted but do not end the run
};

struct CrashRunResult {
  bool failed = false;
  std::string kind;                // the check that failed
  std::string report;              // the failing round: kill point, operations, the check
  std::vector<CrashRound> rounds;  // the rounds run, the failing one last
  size_t kills = 0;                // rounds that ended with the worker killed
  uint64_t mostMutations = 0;      // the most mutating operations a worker that was not killed made
  std::map<std::string, size_t> failedOps;  // operations that reported failure, by kind
  std::map<std::string, size_t> ignored;    // failures of ignored kinds, by kind
};

// Runs `count` rounds in a fresh folder; the rounds are drawn from `seed`.
CrashRunResult RunCrashRounds(const CrashSwitches& switches, uint32_t seed, size_t count,
                              const CrashRunOptions& options = {});
// Runs exactly these rounds in a fresh folder.
CrashRunResult ReplayCrashRounds(const CrashSwitches& switches, const std::vector<CrashRound>& rounds,
                                 const CrashRunOptions& options = {});
// The fewest rounds found (dropping rounds, at most `budget` replays) that
// still fail with `kind`.
std::vector<CrashRound> ShrinkCrashRounds(const CrashSwitches& switches, const std::vector<CrashRound>& rounds,
                                          const std::string& kind, size_t budget,
                                          const CrashRunOptions& options = {});

}  // namespace tw::test
