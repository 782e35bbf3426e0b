// A command on a pseudo-terminal of its own, for a terminal emulator that
// runs elsewhere (xterm.js in a browser): what the command writes comes out
// on standard output, standard input reaches it as typed, and each line
// "COLUMNS ROWS" read on descriptor 3 resizes the terminal. The command
// starts as a terminal emulator starts its shell (support/pty_spawn.h).
// Ends when standard input ends or the terminal is closed; then, as when a
// terminal's window closes, the command's process group gets SIGHUP.
//
//   zw_pty_bridge COLUMNS ROWS COMMAND [ARGS...]
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/pty_spawn.h"

namespace {

// Writes all of `n` bytes; false when the other side is gone.
bool write_all(int fd, const char* p, ssize_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, static_cast<size_t>(n));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= w;
  }
  return true;
}

}  // namespace

// Relays until either side ends.
void relay(int master, winsize size) {
  pollfd fds[3] = {{0, POLLIN, 0}, {3, POLLIN, 0}, {master, POLLIN, 0}};
  std::string resize;
  char buf[4096];
  for (;;) {
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) {
      const ssize_t n = ::read(0, buf, sizeof buf);
      if (n <= 0 || !write_all(master, buf, n)) return;
    }
    if (fds[1].revents != 0) {
      const ssize_t n = ::read(3, buf, sizeof buf);
      if (n <= 0) {
        fds[1].fd = -1;
      } else {
        resize.append(buf, static_cast<size_t>(n));
        for (size_t nl; (nl = resize.find('\n')) != std::string::npos; resize.erase(0, nl + 1)) {
          unsigned columns = 0, rows = 0;
          if (std::sscanf(resize.c_str(), "%u %u", &columns, &rows) == 2) {
            size.ws_col = static_cast<unsigned short>(columns);
            size.ws_row = static_cast<unsigned short>(rows);
            ::ioctl(master, TIOCSWINSZ, &size);
          }
        }
      }
    }
    if (fds[2].revents != 0) {
      const ssize_t n = ::read(master, buf, sizeof buf);
      // EIO: every process of the terminal has closed it.
      if (n <= 0 || !write_all(1, buf, n)) return;
    }
  }
}

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: zw_pty_bridge COLUMNS ROWS COMMAND [ARGS...]\n");
    return 2;
  }
  winsize size{};
  size.ws_col = static_cast<unsigned short>(std::atoi(argv[1]));
  size.ws_row = static_cast<unsigned short>(std::atoi(argv[2]));
  int master = -1, slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) return 1;
  const zw::pty::Job job = zw::pty::spawn(slave, -1, -1, {master, 3}, argv + 3, nullptr);
  ::close(slave);
  if (job.session < 0) return 1;

  ::signal(SIGPIPE, SIG_IGN);
  relay(master, size);
  ::close(master);
  ::kill(-job.program, SIGHUP);
  return 0;
}
