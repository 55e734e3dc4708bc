#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace tw::platform {

bool IsTerminal(int fd) { return fd >= 0 && ::isatty(fd) == 1; }

int TerminalColumns(int fd) {
  if (!IsTerminal(fd)) return 0;
  struct winsize size {};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace tw::platform
