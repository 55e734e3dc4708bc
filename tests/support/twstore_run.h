// The twstore tool run as an operator runs it, for the command-line tests.
#pragma once
#include <string>

namespace tw::test {

struct CliRun {
  int status;          // as pclose reports it
  std::string output;  // standard output and error together
};

// Runs `twstore ARGS` with TW_REGISTRY_FILE set to `registryFile`; `args`
// pass through the shell.
CliRun RunTwstore(const std::string& registryFile, const std::string& args);

}  // namespace tw::test
