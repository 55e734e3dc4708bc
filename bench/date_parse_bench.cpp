// vCalendar date-times with offsets ("20140305T090000-0500") read to file
// times, beside the C library's timegm on the same fields in the same run.
// Run: build/default/bin/date_parse_bench --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "calendar/date_texts.h"

namespace {

constexpr int64_t kParses = 1000000;
constexpr size_t kSamples = 4096;  // cycled; more would measure the cache

struct Sample {
  std::string text;
  tm fields{};
  int offsetMinutes = 0;
};

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = [] {
    std::vector<Sample> out(kSamples);
    std::mt19937_64 random(20140305);
    std::uniform_int_distribution<int64_t> instant(0, 4102444799);  // 1970..2099
    std::uniform_int_distribution<int> offset(-12 * 4, 14 * 4);      // quarter hours
    for (Sample& s : out) {
      const time_t t = static_cast<time_t>(instant(random));
      gmtime_r(&t, &s.fields);
      s.offsetMinutes = offset(random) * 15;
      const int magnitude = s.offsetMinutes < 0 ? -s.offsetMinutes : s.offsetMinutes;
      char text[64];
      std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d%c%02d%02d", s.fields.tm_year + 1900,
                    s.fields.tm_mon + 1, s.fields.tm_mday, s.fields.tm_hour, s.fields.tm_min, s.fields.tm_sec,
                    s.offsetMinutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
      s.text = text;
    }
    return out;
  }();
  return samples;
}

void BM_DateTimeWithOffsetToFileTime(benchmark::State& state) {
  const std::vector<Sample>& samples = Samples();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tw::FileTimeFromDateTimeText(samples[i].text));
    i = (i + 1) % kSamples;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DateTimeWithOffsetToFileTime)->Iterations(kParses);

// The C library's share of the same work: the fields already split, to a
// time less the offset.
void BM_TimegmOnTheSameFields(benchmark::State& state) {
  const std::vector<Sample>& samples = Samples();
  size_t i = 0;
  for (auto _ : state) {
    tm fields = samples[i].fields;
    benchmark::DoNotOptimize(static_cast<int64_t>(timegm(&fields)) - samples[i].offsetMinutes * 60);
    i = (i + 1) % kSamples;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimegmOnTheSameFields)->Iterations(kParses);

}  // namespace
