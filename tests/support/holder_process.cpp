#include "support/holder_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace tw::test {

HolderProcess::HolderProcess(const std::string& mode, const std::string& path, bool waitForGo) {
  int toChild[2];
  int fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) return;
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return;
  }
  const std::string program = std::string(TW_TEST_BIN_DIR) + "/tw_hold_file";
  pid_ = fork();
  if (pid_ == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    std::vector<const char*> args{program.c_str(), mode.c_str(), path.c_str()};
    if (waitForGo) args.push_back("--wait");
    args.push_back(nullptr);
    execv(program.c_str(), const_cast<char* const*>(args.data()));
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  in_ = toChild[1];
  out_ = fromChild[0];
}

HolderProcess::~HolderProcess() {
  Kill();
  if (in_ >= 0) close(in_);
  if (out_ >= 0) close(out_);
}

std::string HolderProcess::Line() {
  std::string line;
  char c;
  while (out_ >= 0 && read(out_, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

bool HolderProcess::Send(const std::string& command) {
  const std::string text = command + "\n";
  return in_ >= 0 && write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void HolderProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  Reap();
}

int HolderProcess::Reap() {
  int status = 0;
  if (pid_ > 0) waitpid(pid_, &status, 0);
  pid_ = -1;
  return status;
}

}  // namespace tw::test
