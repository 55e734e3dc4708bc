// Time zones applied to local times, beside the C library's timegm on the
// same fields in the same run; and the mailbox's zone looked up again and
// again, beside one plain read of its option (the zone is cached, so the
// lookup should cost little more than the read).
// Run: build/default/bin/time_zone_bench --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "calendar/date_texts.h"
#include "calendar/named_time_zones.h"
#include "calendar/time_zone_block.h"
#include "calendar/time_zone_offsets.h"
#include "frame/providers.h"
#include "store_mail_files.h"

namespace {

constexpr int64_t kTimes = 1000000;
constexpr size_t kSamples = 4096;  // cycled; more would measure the cache

constexpr const char* kEasternBlock =
    "BEGIN:VTIMEZONE\r\nTZID:Eastern Standard Time\r\n"
    "BEGIN:STANDARD\r\nDTSTART:16010101T020000\r\nTZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\n"
    "RRULE:FREQ=YEARLY;BYDAY=1SU;BYMONTH=11\r\nEND:STANDARD\r\n"
    "BEGIN:DAYLIGHT\r\nDTSTART:16010101T020000\r\nTZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\n"
    "RRULE:FREQ=YEARLY;BYDAY=2SU;BYMONTH=3\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n";

struct Sample {
  std::string text;
  tm fields{};
};

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = [] {
    std::vector<Sample> out(kSamples);
    std::mt19937_64 random(20140305);
    std::uniform_int_distribution<int64_t> instant(0, 4102444799);  // 1970..2099
    for (Sample& s : out) {
      const time_t t = static_cast<time_t>(instant(random));
      gmtime_r(&t, &s.fields);
      char text[32];
      std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", s.fields.tm_year + 1900, s.fields.tm_mon + 1,
                    s.fields.tm_mday, s.fields.tm_hour, s.fields.tm_min, s.fields.tm_sec);
      s.text = text;
    }
    return out;
  }();
  return samples;
}

const tw::TimeZoneRecord& Eastern() {
  static const tw::TimeZoneRecord zone = *tw::VCalendar_ParseTimeZoneBlock(kEasternBlock);
  return zone;
}

// The zone's offset appended to the local text.
void BM_ApplyTimeZoneBlock(benchmark::State& state) {
  const std::vector<Sample>& samples = Samples();
  const tw::TimeZoneRecord& zone = Eastern();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tw::VCAL_ApplyTimeZoneSection(samples[i].text, zone));
    i = (i + 1) % kSamples;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ApplyTimeZoneBlock)->Iterations(kTimes);

// The whole way from a local text to a UTC file time.
void BM_ApplyTimeZoneBlockToFileTime(benchmark::State& state) {
  const std::vector<Sample>& samples = Samples();
  const tw::TimeZoneRecord& zone = Eastern();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tw::FileTimeFromDateTimeText(tw::VCAL_ApplyTimeZoneSection(samples[i].text, zone)));
    i = (i + 1) % kSamples;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ApplyTimeZoneBlockToFileTime)->Iterations(kTimes);

void BM_TimegmOnTheSameFields(benchmark::State& state) {
  const std::vector<Sample>& samples = Samples();
  size_t i = 0;
  for (auto _ : state) {
    tm fields = samples[i].fields;
    benchmark::DoNotOptimize(timegm(&fields));
    i = (i + 1) % kSamples;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimegmOnTheSameFields)->Iterations(kTimes);

// A mailbox whose "TimeZone" option names a Windows zone.
class MailboxWithZone {
 public:
  MailboxWithZone() : root_("tw_zone_bench") {
    ready_ = tw::EnsureOptionProvider() &&
             tw::SetStoreOption(tw::kOptionScopeMailbox, tw::MailboxOptionObject("PO", "bob"), "TimeZone",
                                "W. Europe Standard Time");
  }
  bool ready() const { return ready_; }

 private:
  twbench::ScratchMailRoot root_;
  bool ready_ = false;
};

MailboxWithZone& Mailbox() {
  static MailboxWithZone mailbox;
  return mailbox;
}

void BM_MailboxTimeZoneLookup(benchmark::State& state) {
  if (!Mailbox().ready()) return state.SkipWithError("no option provider");
  for (auto _ : state) benchmark::DoNotOptimize(tw::VCAL_GetMailboxTimeZone("PO", "bob"));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MailboxTimeZoneLookup);

void BM_PlainOptionRead(benchmark::State& state) {
  if (!Mailbox().ready()) return state.SkipWithError("no option provider");
  const std::string object = tw::MailboxOptionObject("PO", "bob");
  std::string value;
  for (auto _ : state) benchmark::DoNotOptimize(tw::GetStoreOption(tw::kOptionScopeMailbox, object, "TimeZone", value));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainOptionRead);

}  // namespace
