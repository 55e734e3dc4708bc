// Cost of taking and releasing an uncontended held index block: the price
// every index open, commit and save pays once.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "index/locking/index_file_blocking.h"

namespace {

namespace fs = std::filesystem;

struct BlockBenchDir {
  std::string root;
  BlockBenchDir() {
    root = (fs::temp_directory_path() / ("twblockbench-" + std::to_string(std::random_device{}()))).string();
    fs::create_directories(root + "/Inbox");
    std::ofstream(root + "/registry.reg") << "Windows Registry Editor Version 5.00\r\n\r\n";
    setenv("TW_REGISTRY_FILE", (root + "/registry.reg").c_str(), 1);
  }
  ~BlockBenchDir() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

void BM_HeldBlockTakeRelease(benchmark::State& state) {
  BlockBenchDir dir;
  const std::string path = dir.root + "/Inbox/_index.blk";
  for (auto _ : state) {
    uintptr_t handle = 0;
    if (tw::WaitForAccessToIndexFileEx(path, tw::kHeldBlock, &handle) != 1 ||
        tw::UnBlockIndexFileAccessEx(path, tw::kHeldBlock, &handle) != 1) {
      state.SkipWithError("block not taken or not released");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HeldBlockTakeRelease);

}  // namespace
