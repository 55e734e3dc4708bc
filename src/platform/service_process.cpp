#include "platform/service_process.h"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace tw::platform {

int64_t StartChild() {
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
  }
  return pid;
}

std::vector<int64_t> ReapChildren() {
  std::vector<int64_t> reaped;
  for (;;) {
    int status = 0;
    const pid_t pid = waitpid(-1, &status, WNOHANG);
    if (pid > 0) {
      reaped.push_back(pid);
      continue;
    }
    if (pid < 0 && errno == EINTR) continue;
    return reaped;
  }
}

void StopChild(int64_t pid) {
  if (pid > 0) kill(static_cast<pid_t>(pid), SIGTERM);
}

void EndChild(int code) { _exit(code); }

void SetProcessDeadline(uint32_t seconds) {
  std::signal(SIGALRM, SIG_DFL);
  alarm(seconds);
}

bool EffectiveUserIsRoot() { return geteuid() == 0; }

bool KeepEffectiveIdentity(std::string& why) {
  const gid_t group = getegid();
  const uid_t user = geteuid();
  if (setresgid(group, group, group) != 0 || setresuid(user, user, user) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if (user != 0 && (setuid(0) == 0 || seteuid(0) == 0)) {
    why = "root could be taken back";
    return false;
  }
  return true;
}

}  // namespace tw::platform
