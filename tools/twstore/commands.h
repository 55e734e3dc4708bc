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

int ShowPaths(const PathsRequest& request, std::ostream& out, std::ostream& err);
int ShowSettings(std::ostream& out);

}  // namespace tw::cli
