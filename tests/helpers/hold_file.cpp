// Holds a file open in a process of its own, for tests of cross-process
// sharing.
//
//   tw_hold_file MODE PATH [--wait]
//
// create: CreateNew with no sharing; exclusive: OpenAlways with no sharing;
// shared: OpenAlways shared. Block files as the library takes them:
// index-held and index-marker (WaitForAccessToIndexFileEx), activity
// (BlockFileLock), calendar (PATH is "<block-file base>/<name>.BLK"). With --wait it first reads one line ("go") from
// standard input, so that a test can start several racers at once.
// It answers "ok" or "error N" on standard output, then obeys lines on
// standard input: "close" closes the handle (answer "closed"), "exit" ends
// the process without closing it. End of input ends the process too.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "frame/settings.h"
#include "index/locking/activity_block.h"
#include "index/locking/calendar_block.h"
#include "index/locking/index_file_blocking.h"
#include "platform/file_handle.h"
#include "platform/last_error.h"

namespace {

int Usage() {
  std::cerr << "usage: tw_hold_file create|exclusive|readshare|shared|index-held|index-marker|activity|calendar "
               "PATH [--wait]\n";
  return 2;
}

// Takes a block the library's way; "" or the error.
std::string TakeBlock(const std::string& mode, const std::string& path, tw::BlockFileLock& activity) {
  bool taken = false;
  if (mode == "index-held" || mode == "index-marker") {
    uintptr_t handle = 0;
    taken = tw::WaitForAccessToIndexFileEx(path, mode == "index-held" ? tw::kHeldBlock : tw::kMarkerBlock,
                                           &handle) == 1;
  } else if (mode == "activity") {
    taken = activity.Acquire(path, 0, 100) == 1;
  } else {
    const size_t slash = path.find_last_of('/');
    const std::string file = path.substr(slash + 1);
    if (slash == std::string::npos || file.size() <= 4 || file.substr(file.size() - 4) != ".BLK") return "usage";
    tw::StoreSettings settings;
    settings.blockFileBase = path.substr(0, slash);
    tw::SetSettings(settings);
    taken = tw::CreateCalendarBlock(file.substr(0, file.size() - 4)) == 1;
  }
  return taken ? "" : std::to_string(tw::platform::GetLastError());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tw::platform;
  if (argc < 3 || argc > 4) return Usage();
  const std::string mode = argv[1];
  const std::string path = argv[2];
  if (argc == 4) {
    if (std::string(argv[3]) != "--wait") return Usage();
    std::string go;
    if (!std::getline(std::cin, go)) return 1;
  }

  FileHandle handle;
  tw::BlockFileLock activity;
  if (mode == "index-held" || mode == "index-marker" || mode == "activity" || mode == "calendar") {
    const std::string error = TakeBlock(mode, path, activity);
    if (error == "usage") return Usage();
    std::cout << (error.empty() ? "ok" : "error " + error) << std::endl;
    // Held until the process ends; only "exit" or a kill ends it.
    std::string command;
    while (std::getline(std::cin, command))
      if (command == "exit") std::exit(0);
    return 0;
  }
  if (mode == "create")
    handle = OpenFile(path, Access::ReadWrite, Share::None, Disposition::CreateNew);
  else if (mode == "exclusive")
    handle = OpenFile(path, Access::ReadWrite, Share::None, Disposition::OpenAlways);
  else if (mode == "readshare")
    handle = OpenFile(path, Access::ReadWrite, Share::Read, Disposition::CreateNew);
  else if (mode == "shared")
    handle = OpenFile(path, Access::Read, Share::All, Disposition::OpenAlways);
  else
    return Usage();

  if (handle.IsOpen())
    std::cout << "ok" << std::endl;
  else
    std::cout << "error " << GetLastError() << std::endl;

  std::string command;
  while (std::getline(std::cin, command)) {
    if (command == "close") {
      handle.Close();
      std::cout << "closed" << std::endl;
    } else if (command == "exit") {
      // Ends without closing: the system must drop the lock by itself.
      std::exit(0);
    }
  }
  return 0;
}
