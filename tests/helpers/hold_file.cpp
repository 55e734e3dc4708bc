// Holds a file open in a process of its own, for tests of cross-process
// sharing.
//
//   tw_hold_file create|exclusive|readshare|shared PATH [--wait]
//
// create: CreateNew with no sharing; exclusive: OpenAlways with no sharing;
// shared: OpenAlways shared. With --wait it first reads one line ("go") from
// standard input, so that a test can start several racers at once.
// It answers "ok" or "error N" on standard output, then obeys lines on
// standard input: "close" closes the handle (answer "closed"), "exit" ends
// the process without closing it. End of input ends the process too.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/file_handle.h"
#include "platform/last_error.h"

namespace {

int Usage() {
  std::cerr << "usage: tw_hold_file create|exclusive|readshare|shared PATH [--wait]\n";
  return 2;
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
