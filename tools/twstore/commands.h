// The twstore command-line tool's commands. Each prints to `out` and
// returns the process exit code.
#pragma once
#include <ostream>
#include <string>

namespace tw::cli {

struct PathsRequest {
  std::string postoffice;
  std::string mailbox;
  std::string folder;
};

struct ListenRequest {
  std::string protocol;
  std::string postoffice;
  std::string mailbox;
  std::string folder;
  std::string server;  // empty: this computer's name
  int count = 0;       // exit after this many notifications; 0: until a signal
};

int ShowPaths(const PathsRequest& request, std::ostream& out, std::ostream& err);
int ShowSettings(std::ostream& out);
int Listen(const ListenRequest& request, std::ostream& out, std::ostream& err);

}  // namespace tw::cli
