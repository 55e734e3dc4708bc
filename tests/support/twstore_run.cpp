#include "support/twstore_run.h"

#include "support/test_support.h"

namespace tw::test {

namespace {
std::string TwstoreCommand(const std::string& registryFile, const std::string& args, const std::string& environment,
                           const std::string& errors = "&1") {
  return "TW_REGISTRY_FILE='" + registryFile + "' " + environment + " " TW_TEST_BIN_DIR "/twstore " + args + " 2>" +
         errors;
}
}  // namespace

CliRun RunCommand(const std::string& command) {
  CliRun run{0, {}, {}};
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {-1, {}, {}};
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, got);
  run.status = pclose(pipe);
  return run;
}

CliRun RunTwstore(const std::string& registryFile, const std::string& args) {
  return RunCommand(TwstoreCommand(registryFile, args, ""));
}

CliRun RunTwstoreApart(const std::string& registryFile, const std::string& args) {
  ScratchDir dir;
  CliRun run = RunCommand(TwstoreCommand(registryFile, args, "", "'" + (dir / "errors") + "'"));
  run.errors = ReadFile(dir / "errors");
  return run;
}

TwstoreProcess::TwstoreProcess(const std::string& registryFile, const std::string& args,
                               const std::string& environment)
    : pipe_(popen(TwstoreCommand(registryFile, args, environment + " timeout 60").c_str(), "r")) {}

TwstoreProcess::~TwstoreProcess() {
  if (pipe_) pclose(pipe_);
}

std::string TwstoreProcess::Line() {
  char buffer[4096];
  if (!pipe_ || !std::fgets(buffer, sizeof buffer, pipe_)) return {};
  return buffer;
}

int TwstoreProcess::Close() {
  const int status = pipe_ ? pclose(pipe_) : -1;
  pipe_ = nullptr;
  return status;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return lines;
}

}  // namespace tw::test
