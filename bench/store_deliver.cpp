// One delivering process for the delivery benchmark: writes realistic
// message files (store_mail_files.h) into PO/MAILBOX/Inbox of a scratch
// mail root made by store_index_fresh, each under an exclusive handle as a
// delivering service writes it, and indexes each with the direct insert.
//
//   store_deliver ROOT MAILBOX COUNT PREFIX [--no-index]
//
// --no-index only writes the files: the ceiling of a delivery. Prints
// "delivered N failed M wall_ms W cpu_ms C".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "store_mail_files.h"
#include "frame/settings.h"
#include "frame/store_paths.h"
#include "index/lifecycle/direct_operations.h"
#include "platform/file_handle.h"
#include "platform/last_error.h"

int main(int argc, char** argv) {
  if (argc < 5 || argc > 6 || (argc == 6 && std::string(argv[5]) != "--no-index")) {
    std::fprintf(stderr, "usage: store_deliver ROOT MAILBOX COUNT PREFIX [--no-index]\n");
    return 2;
  }
  const twbench::ScratchMailRoot root(twbench::ScratchMailRoot::Existing{}, argv[1]);
  tw::SetSettings(tw::ReadStoreSettings());
  const std::string mailbox = argv[2], prefix = argv[4];
  const long count = std::strtol(argv[3], nullptr, 10);
  const bool index = argc == 5;
  const std::string directory = tw::FolderDirectoryForIndex("PO", mailbox, "\\Inbox");
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  long delivered = 0, failed = 0;
  for (long n = 0; n < count && count <= 10'000'000; ++n) {
    const std::string name = twbench::MessageName(prefix, static_cast<uint64_t>(n));
    const std::string text = twbench::MessageText(static_cast<uint64_t>(n));
    tw::platform::FileHandle file =
        tw::platform::OpenFile(directory + "\\" + name, tw::platform::Access::Write, tw::platform::Share::None,
                               tw::platform::Disposition::CreateAlways);
    if (!file.IsOpen() || !file.Write(text.data(), text.size())) {
      std::fprintf(stderr, "store_deliver: %s not written (error %u)\n", name.c_str(), tw::platform::GetLastError());
      ++failed;
      continue;
    }
    file.Close();
    if (!index) {
      ++delivered;
    } else if (const int32_t result = tw::DirectInsertItems("PO", mailbox, "\\Inbox", name, ""); result == 1) {
      ++delivered;
    } else {
      std::fprintf(stderr, "store_deliver: %s not indexed (result %d, error %u)\n", name.c_str(), result,
                   tw::platform::GetLastError());
      ++failed;
    }
  }
  std::printf("delivered %ld failed %ld wall_ms %.1f cpu_ms %.1f\n", delivered, failed,
              twbench::SecondsSince(start) * 1e3, twbench::CpuSecondsSince(cpuStart) * 1e3);
  return failed == 0 ? 0 : 1;
}
