// The header parser alone, over the benchmark's message texts in memory:
// what a scan pays per message beyond opening and reading the file.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "index/messages/message_header.h"
#include "store_mail_files.h"

namespace {

const std::vector<std::string>& Messages() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> all;
    for (uint64_t n = 1; n <= 1000; ++n) all.push_back(twbench::MessageText(n));
    return all;
  }();
  return texts;
}

void BM_ParseHeaderText(benchmark::State& state) {
  tw::MessageHeaderInfo info;
  tw::HeaderParseOptions options;
  size_t bytes = 0;
  for (auto _ : state) {
    for (const std::string& text : Messages()) {
      info.Reset();
      tw::ParseHeaderText(text, info, options);
      benchmark::DoNotOptimize(info.subject[0]);
      bytes += text.size();
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Messages().size()));
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ParseHeaderText)->Unit(benchmark::kMicrosecond);

}  // namespace
