// A pseudo-terminal pair for unit tests that need a real terminal device:
// `terminal` is the terminal's side, `device` the program's. Neither is
// anyone's controlling terminal.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

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

// The settings of terminal `fd` as they are now.
inline termios settings_of(int fd) {
  termios t{};
  ::tcgetattr(fd, &t);
  return t;
}

inline bool same_settings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace zw
