#include "support/holder_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace tw::test {

HolderProcess::HolderProcess(const std::string& mode, const std::string& path, bool waitForGo)
    : HolderProcess(waitForGo ? std::vector<std::string>{"tw_hold_file", mode, path, "--wait"}
                              : std::vector<std::string>{"tw_hold_file", mode, path}) {}

HolderProcess::HolderProcess(const std::vector<std::string>& command) {
  if (command.empty()) return;
  int toChild[2];
  int fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) return;
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return;
  }
  const std::string program = std::string(TW_TEST_BIN_DIR) + "/" + command[0];
  pid_ = fork();
  if (pid_ == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    std::vector<const char*> args{program.c_str()};
    for (size_t i = 1; i < command.size(); ++i) args.push_back(command[i].c_str());
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
