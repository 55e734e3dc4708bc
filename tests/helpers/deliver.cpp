// Delivers messages into a folder as a delivering service does: writes
// each message file and indexes it with the direct insert.
//
//   tw_deliver POSTOFFICE MAILBOX FOLDER COUNT PREFIX [--wait]
//
// With --wait it first reads one line from standard input, so that a test
// can start several deliverers at once. Prints "delivered N failed M".
#include <cstdio>
#include <iostream>
#include <string>

#include "frame/settings.h"
#include "frame/store_paths.h"
#include "index/lifecycle/direct_operations.h"
#include "platform/file_handle.h"

int main(int argc, char** argv) {
  if (argc < 6) {
    std::cerr << "usage: tw_deliver POSTOFFICE MAILBOX FOLDER COUNT PREFIX [--wait]\n";
    return 2;
  }
  if (argc > 6 && std::string(argv[6]) == "--wait") {
    std::string go;
    std::getline(std::cin, go);
  }
  tw::SetSettings(tw::ReadStoreSettings());
  const std::string postoffice = argv[1], mailbox = argv[2], folder = argv[3], prefix = argv[5];
  const int count = std::stoi(argv[4]);
  const std::string directory = tw::FolderDirectoryForIndex(postoffice, mailbox, folder);
  int delivered = 0, failed = 0;
  for (int i = 0; i < count; ++i) {
    const std::string name = prefix + std::to_string(i) + ".MAI";
    const std::string text = "From: a@b\r\nSubject: message " + std::to_string(i) + "\r\n\r\nbody\r\n";
    tw::platform::FileHandle file = tw::platform::OpenFile(directory + "\\" + name, tw::platform::Access::Write,
                                                          tw::platform::Share::None,
                                                          tw::platform::Disposition::CreateAlways);
    if (!file.IsOpen() || !file.Write(text.data(), text.size())) {
      ++failed;
      continue;
    }
    file.Close();
    if (tw::DirectInsertItems(postoffice, mailbox, folder, name, "") == 1) ++delivered;
    else ++failed;
  }
  std::printf("delivered %d failed %d\n", delivered, failed);
  return failed == 0 ? 0 : 1;
}
