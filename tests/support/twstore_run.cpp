#include "support/twstore_run.h"

#include <cstdio>

namespace tw::test {

CliRun RunTwstore(const std::string& registryFile, const std::string& args) {
  const std::string command =
      "TW_REGISTRY_FILE='" + registryFile + "' " TW_TEST_BIN_DIR "/twstore " + args + " 2>&1";
  CliRun run{0, {}};
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {-1, {}};
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, got);
  run.status = pclose(pipe);
  return run;
}

}  // namespace tw::test
