// A worker process killed at random mutating file operations of every write
// path of one mail folder; after each round the folder must open, list every
// message with the UID and flags it had (an operation cut short may have
// taken effect or not), and count right after a save. The long version
// runs by hand: scripts/crash-injection.sh.
//
// Environment: TW_CRASH_SEED (first seed), TW_CRASH_ROUNDS (rounds per run),
// TW_CRASH_MINUTES (runs the long test), TW_CRASH_SWITCHES (a comma list of
// document, stream, document+backup, stream+backup), TW_CRASH_REPLAY (with
// one switch setting: exactly these rounds, "SEED:KILL:BYTES,..."),
// TW_CRASH_SHRINK (replays spent on shortening a failure), TW_CRASH_KILLS=0
// (no worker is killed: the plain write paths alone), TW_CRASH_IGNORE
// (failure kinds that are counted but let the run go on), TW_CRASH_TRACE=1 (a line
// per round).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "support/crash_harness.h"
#include "support/crash_log.h"

namespace tw::test {
namespace {

uint32_t FromEnvironment(const char* name, uint32_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : fallback;
}

std::string TextFromEnvironment(const char* name) {
  const char* text = std::getenv(name);
  return text != nullptr ? text : "";
}

CrashRunOptions OptionsFromEnvironment() {
  CrashRunOptions options;
  options.kills = FromEnvironment("TW_CRASH_KILLS", 1) != 0;
  for (const std::string& kind : SplitIds(TextFromEnvironment("TW_CRASH_IGNORE"))) options.ignore.insert(kind);
  return options;
}

std::vector<CrashSwitches> SwitchesFromEnvironment() {
  std::vector<CrashSwitches> all;
  const std::string text = TextFromEnvironment("TW_CRASH_SWITCHES");
  for (const std::string& entry : SplitIds(text.empty() ? "document,stream,document+backup,stream+backup" : text)) {
    CrashSwitches s;
    if (CrashSwitches::Parse(entry, s)) all.push_back(s);
  }
  return all;
}

// The failure and the fewest rounds found that repeat it, as a command.
std::string Reproduction(const CrashSwitches& switches, uint32_t seed, const CrashRunResult& result,
                         size_t shrinkBudget, const CrashRunOptions& options = {}) {
  std::string text = "[" + result.kind + "] " + switches.Describe() + ", seed " + std::to_string(seed) + ", round " +
                     std::to_string(result.rounds.size()) + "\n" + result.report;
  std::vector<CrashRound> shortest = result.rounds;
  if (shrinkBudget > 0) shortest = ShrinkCrashRounds(switches, result.rounds, result.kind, shrinkBudget, options);
  text += "shortest reproduction found (" + std::to_string(shortest.size()) + " of " +
          std::to_string(result.rounds.size()) + " rounds):\n  TW_CRASH_SWITCHES=" + switches.Text() +
          " TW_CRASH_REPLAY=" + RoundsText(shortest) +
          (options.ignore.empty() ? "" : " TW_CRASH_IGNORE=" + TextFromEnvironment("TW_CRASH_IGNORE")) +
          " build/default/bin/twstore_tests --gtest_filter='CrashInjectionLongTest.*'\n";
  if (shortest.size() < result.rounds.size()) {
    const CrashRunResult again = ReplayCrashRounds(switches, shortest, options);
    text += "which fails so:\n" + again.report;
  }
  return text;
}

uint32_t SeedFor(const CrashSwitches& switches) {
  return FromEnvironment("TW_CRASH_SEED", 1) + (switches.stream ? 100 : 0) + (switches.backup ? 10 : 0);
}

std::string SwitchName(const ::testing::TestParamInfo<CrashSwitches>& info) { return info.param.Name(); }

const auto kAllSettings = ::testing::Values(CrashSwitches{false, false}, CrashSwitches{false, true},
                                            CrashSwitches{true, false}, CrashSwitches{true, true});

// Workers killed at random mutating operations, 30 rounds per setting; a
// failure is shortened and printed with the command that replays it.
class CrashInjectionTest : public ::testing::TestWithParam<CrashSwitches> {};

TEST_P(CrashInjectionTest, KilledWritersLeaveAFolderThatOpensWhole) {
  const CrashSwitches switches = GetParam();
  const uint32_t seed = SeedFor(switches);
  const CrashRunResult result = RunCrashRounds(switches, seed, FromEnvironment("TW_CRASH_ROUNDS", 30));
  if (result.failed) ADD_FAILURE() << Reproduction(switches, seed, result, FromEnvironment("TW_CRASH_SHRINK", 10));
  EXPECT_GT(result.kills, result.rounds.size() / 2) << "most rounds must end with the worker killed";
}

INSTANTIATE_TEST_SUITE_P(AllSettings, CrashInjectionTest, kAllSettings, SwitchName);

// The long version, by hand: runs of TW_CRASH_ROUNDS rounds (default 200)
// for each setting in turn until TW_CRASH_MINUTES have passed; a failed run
// is reported and a new one starts from the next seed. With TW_CRASH_REPLAY
// it replays those rounds once.
TEST(CrashInjectionLongTest, ManyRounds) {
  const uint32_t minutes = FromEnvironment("TW_CRASH_MINUTES", 0);
  const std::string replay = TextFromEnvironment("TW_CRASH_REPLAY");
  if (minutes == 0 && replay.empty()) GTEST_SKIP() << "set TW_CRASH_MINUTES or TW_CRASH_REPLAY to run";
  const std::vector<CrashSwitches> settings = SwitchesFromEnvironment();
  ASSERT_FALSE(settings.empty()) << "TW_CRASH_SWITCHES names no setting";
  if (!replay.empty()) {
    std::vector<CrashRound> rounds;
    ASSERT_TRUE(ParseRounds(replay, rounds)) << "TW_CRASH_REPLAY is not SEED:KILL:BYTES,...";
    const CrashRunResult result = ReplayCrashRounds(settings.front(), rounds, OptionsFromEnvironment());
    if (result.failed)
      ADD_FAILURE() << "[" << result.kind << "] " << settings.front().Describe() << "\n" << result.report;
    std::printf("replayed %zu of %zu rounds: %s\n", result.rounds.size(), rounds.size(),
                result.failed ? result.kind.c_str() : "all passed");
    return;
  }
  const uint32_t roundsPerRun = FromEnvironment("TW_CRASH_ROUNDS", 200);
  const size_t shrinkBudget = FromEnvironment("TW_CRASH_SHRINK", 40);
  const CrashRunOptions options = OptionsFromEnvironment();
  uint32_t seed = FromEnvironment("TW_CRASH_SEED", 1);
  const auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  size_t rounds = 0, kills = 0, runs = 0, failures = 0;
  std::map<std::string, size_t> byKind;            // "kind, setting" -> failed runs
  std::map<std::string, size_t> failedOps;
  std::map<std::string, size_t> ignored;
  std::set<std::string> shown;
  while (elapsed() < minutes * 60.0) {
    for (const CrashSwitches& switches : settings) {
      const CrashRunResult result = RunCrashRounds(switches, seed, roundsPerRun, options);
      ++runs;
      rounds += result.rounds.size();
      kills += result.kills;
      for (const auto& [kind, n] : result.failedOps) failedOps[kind] += n;
      for (const auto& [kind, n] : result.ignored) ignored[kind + ", " + switches.Describe()] += n;
      if (result.failed) {
        ++failures;
        const std::string key = result.kind + ", " + switches.Describe();
        if (byKind[key]++ == 0 && shown.insert(key).second) {
          ADD_FAILURE() << Reproduction(switches, seed, result, shrinkBudget, options);
        } else {
          std::printf("failure [%s] %s, seed %u, round %zu: replay TW_CRASH_SWITCHES=%s TW_CRASH_REPLAY=%s\n",
                      result.kind.c_str(), switches.Describe().c_str(), seed, result.rounds.size(),
                      switches.Text().c_str(), RoundsText(result.rounds).c_str());
        }
      }
      ++seed;
      if (elapsed() >= minutes * 60.0) break;
    }
    std::printf("%zu runs, %zu rounds (%zu killed), %zu failed runs, %.0f s\n", runs, rounds, kills, failures,
                elapsed());
    std::fflush(stdout);
  }
  std::printf("\n%zu rounds in %zu runs (%zu with the worker killed), %.0f s, %.1f ms a round, ~%.0f rounds an hour\n",
              rounds, runs, kills, elapsed(), rounds ? elapsed() * 1000.0 / rounds : 0.0,
              elapsed() > 0 ? rounds * 3600.0 / elapsed() : 0.0);
  std::printf("%zu failed runs\n", failures);
  for (const auto& [key, n] : byKind) std::printf("  %4zu  %s\n", n, key.c_str());
  if (!ignored.empty()) std::printf("failures of ignored kinds (rounds; the runs went on):\n");
  for (const auto& [key, n] : ignored) std::printf("  %4zu  %s\n", n, key.c_str());
  if (!failedOps.empty()) std::printf("operations that reported failure (not a check):\n");
  for (const auto& [kind, n] : failedOps) std::printf("  %4zu  %s\n", n, kind.c_str());
  std::fflush(stdout);
}

}  // namespace
}  // namespace tw::test
