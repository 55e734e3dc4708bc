// The in-memory index at the size of a big mailbox folder: 100,000 items
// with ten properties each, inserted, then each found by ID and by UID.
// Reports insert and lookup rates and the resident memory per item, with
// the part of it that is not the property texts themselves.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "index/items/index_item_property_container.h"
#include "index/items/sorted_store_index.h"

namespace {

constexpr int kItems = 100000;
constexpr double kPageBytes = 4096;  // statm counts pages

double ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  double size = 0, resident = 0;
  statm >> size >> resident;
  return resident * kPageBytes;
}

int FormatId(char (&buffer)[32], int i) { return std::snprintf(buffer, sizeof buffer, "%016X.MAI", 0x5A000000 + i); }

// Sets the ten properties of item i and returns their total text length.
size_t Fill(tw::IndexItemPropertyContainer& c, int i) {
  char text[96];
  size_t total = 0;
  auto set = [&](const char* name, int length) {
    c.SetText(name, std::string_view(text, static_cast<size_t>(length)));
    total += static_cast<size_t>(length);
  };
  char id[32];
  const int idLength = FormatId(id, i);
  c.SetText("ID", std::string_view(id, static_cast<size_t>(idLength)));
  total += static_cast<size_t>(idLength);
  set("SUBJECT", std::snprintf(text, sizeof text, "Re: quarterly figures for region %d", i % 977));
  set("FROM", std::snprintf(text, sizeof text, "sender%d@example.com", i % 313));
  set("TO", std::snprintf(text, sizeof text, "recipient%d@example.org", i % 101));
  set("FLAGSTATUS", std::snprintf(text, sizeof text, "%s", i % 3 == 0 ? "\\SEEN \\ANSWERED" : "\\RECENT"));
  set("SIZE", std::snprintf(text, sizeof text, "%d", 1000 + i % 90000));
  set("RECEIVED", std::snprintf(text, sizeof text, "Sun, 06 Dec 2026 03:%02d:%02d +0000", i % 60, i % 59));
  set("MESSAGEDATE", std::snprintf(text, sizeof text, "Sun, 06 Dec 2026 02:%02d:%02d +0000", i % 60, i % 59));
  set("MODIFIEDDATE", std::snprintf(text, sizeof text, "%u", 1500000000u + static_cast<unsigned>(i)));
  set("ATTACHMENTS", std::snprintf(text, sizeof text, "%d", i % 2));
  return total;
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

void BM_IndexItemsInsertAndFind(benchmark::State& state) {
  for (auto _ : state) {
    tw::SORTEDSTOREINDEXTYPE index;
    tw::IndexItemPropertyContainer warm;  // registers the names before measuring
    Fill(warm, 0);
    const double residentBefore = ResidentBytes();

    size_t textBytes = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kItems; ++i) {
      auto* c = new tw::IndexItemPropertyContainer();
      textBytes += Fill(*c, i);
      if (!index.InsertAtEnd(c)) {
        delete c;
        state.SkipWithError("insert refused");
        return;
      }
    }
    const double insertSeconds = Seconds(start);
    const double residentAfter = ResidentBytes();

    start = std::chrono::steady_clock::now();
    size_t found = 0;
    char id[32];
    for (int i = 0; i < kItems; ++i) {
      const int length = FormatId(id, i);
      found += index.FindById(std::string_view(id, static_cast<size_t>(length))) != nullptr;
      found += index.FindByUid(static_cast<uint32_t>(i + 1)) != nullptr;
    }
    const double lookupSeconds = Seconds(start);
    benchmark::DoNotOptimize(found);
    if (found != 2u * kItems) state.SkipWithError("lookup missed");

    const double perItem = (residentAfter - residentBefore) / kItems;
    state.counters["items_per_s"] = kItems / insertSeconds;
    state.counters["lookups_per_s"] = 2.0 * kItems / lookupSeconds;
    state.counters["resident_bytes_per_item"] = perItem;
    state.counters["text_bytes_per_item"] = static_cast<double>(textBytes) / kItems;
    state.counters["overhead_bytes_per_item"] = perItem - static_cast<double>(textBytes) / kItems;
  }
}
BENCHMARK(BM_IndexItemsInsertAndFind)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
