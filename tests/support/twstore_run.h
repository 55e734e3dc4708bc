// The twstore tool run as an operator runs it, for the command-line tests:
// to its end, or as a process whose output is read line by line.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace tw::test {

struct CliRun {
  int status;          // as pclose reports it
  std::string output;  // standard output and error together, unless run apart
  std::string errors;  // standard error of a run apart
};

// Runs a shell command to its end.
CliRun RunCommand(const std::string& command);

// Runs `twstore ARGS` with TW_REGISTRY_FILE set to `registryFile`; `args`
// pass through the shell.
CliRun RunTwstore(const std::string& registryFile, const std::string& args);

// RunTwstore with standard output in `output` and standard error in
// `errors`.
CliRun RunTwstoreApart(const std::string& registryFile, const std::string& args);

// `twstore ARGS` started with TW_REGISTRY_FILE and `environment` (shell
// assignments such as "TW_NOTIFY_DIR='/x'"), ended after 60 s at the latest.
class TwstoreProcess {
 public:
  TwstoreProcess(const std::string& registryFile, const std::string& args, const std::string& environment = "");
  ~TwstoreProcess();
  TwstoreProcess(const TwstoreProcess&) = delete;
  TwstoreProcess& operator=(const TwstoreProcess&) = delete;
  // The next line of its output with its line end; "" once it has ended.
  std::string Line();
  // Waits for it to end; its status as pclose reports it.
  int Close();

 private:
  FILE* pipe_ = nullptr;
};

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace tw::test
