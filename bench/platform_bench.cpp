// Costs of the platform calls on the store's hot paths: mapping a path,
// reading a registry value "each time", and taking and dropping an
// exclusive handle (what a block file costs).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "frame/registry_access.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;

struct BenchStore {
  std::string root;
  BenchStore() {
    root = (fs::temp_directory_path() / ("twbench-" + std::to_string(::getpid()))).string();
    fs::create_directories(root + "/PO/MAILROOT/bob/Inbox");
    std::ofstream(root + "/registry.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]\r\n"
           "\"Public Folders Enabled\"=dword:00000001\r\n";
    setenv("TW_REGISTRY_FILE", (root + "/registry.reg").c_str(), 1);
    tw::platform::RegistryReset();
  }
  ~BenchStore() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

BenchStore& Store() {
  static BenchStore store;
  return store;
}

void BM_MapLibraryFilePath(benchmark::State& state) {
  const std::string path = Store().root + "\\PO\\MAILROOT\\bob\\Inbox\\_index.xml";
  for (auto _ : state) benchmark::DoNotOptimize(tw::platform::ToSystemPath(path));
}
BENCHMARK(BM_MapLibraryFilePath);

void BM_MapCaseFoldedFolder(benchmark::State& state) {
  const std::string path = Store().root + "\\PO\\MAILROOT\\bob\\INBOX\\_index.xml";
  for (auto _ : state) benchmark::DoNotOptimize(tw::platform::ToSystemPath(path));
}
BENCHMARK(BM_MapCaseFoldedFolder);

void BM_RegistryValueReadEachTime(benchmark::State& state) {
  Store();
  uint32_t value = 0;
  for (auto _ : state) {
    tw::ReadRegistryDword(tw::kRegistryRoot, "Public Folders Enabled", &value);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_RegistryValueReadEachTime);

void BM_ExclusiveCreateCloseDelete(benchmark::State& state) {
  const std::string path = Store().root + "\\PO\\MAILROOT\\bob\\Inbox\\_index.blk";
  for (auto _ : state) {
    tw::platform::FileHandle h = tw::platform::OpenFile(path, tw::platform::Access::ReadWrite,
                                                        tw::platform::Share::None,
                                                        tw::platform::Disposition::CreateNew);
    if (!h.IsOpen()) state.SkipWithError("create failed");
    h.Close();
    tw::platform::DeleteFile(path);
  }
}
BENCHMARK(BM_ExclusiveCreateCloseDelete);

}  // namespace
