// A pseudo-terminal pair for unit tests that need a real terminal device:
// `terminal` is the terminal's side, `device` the program's. Neither is
// anyone's controlling terminal.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace zw {

struct PtyPair {
  int terminal = -1;
  int device = -1;

  PtyPair(int columns = 80, int rows = 24) {
    terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0) return;
    device = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
    resize(columns, rows);
  }
  ~PtyPair() {
    if (device >= 0) ::close(device);
    if (terminal >= 0) ::close(terminal);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  void resize(int columns, int rows) const {
    winsize ws{};
    ws.ws_col = static_cast<unsigned short>(columns);
    ws.ws_row = static_cast<unsigned short>(rows);
    ::ioctl(terminal, TIOCSWINSZ, &ws);
  }
  // The terminal hangs up: the device reads end of file or EIO from now on.
  void hang_up() {
    ::close(terminal);
    terminal = -1;
  }
};

}  // namespace zw
