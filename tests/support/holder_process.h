// tw_hold_file in a child process, driven through its standard input and
// output: it holds a file open the way it is told and reports each step on a
// line of its own, so tests hand-shake with it instead of sleeping.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace tw::test {

class HolderProcess {
 public:
  HolderProcess(const std::string& mode, const std::string& path, bool waitForGo = false);
  // Any helper program of the tests: its name in the test binaries'
  // directory, then its arguments.
  explicit HolderProcess(const std::vector<std::string>& command);
  ~HolderProcess();
  HolderProcess(const HolderProcess&) = delete;
  HolderProcess& operator=(const HolderProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // The next line the holder writes, without its line end ("" at the end).
  std::string Line();
  // False when the command could not be written.
  bool Send(const std::string& command);
  // Ends the holder with SIGKILL and reaps it.
  void Kill();
  // Waits for the holder to end by itself; returns its wait status.
  int Reap();

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
};

}  // namespace tw::test
