#include "platform/posix/terminal_modes.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/terminal_guard.h"

namespace zw {

namespace {

bool same_terminal_settings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace

bool set_terminal_settings(int fd, int when, const termios& settings) {
  while (::tcsetattr(fd, when, &settings) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool enter_raw_input(int fd, termios* raw) {
  termios saved{};
  if (::tcgetattr(fd, &saved) != 0) return false;
  guard_input_settings(fd, saved);
  *raw = saved;
  raw->c_iflag &= ~static_cast<tcflag_t>(IGNBRK | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  raw->c_oflag &= ~static_cast<tcflag_t>(OPOST);
  raw->c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | IEXTEN);
  raw->c_lflag |= ISIG;
  raw->c_cc[VMIN] = 1;
  raw->c_cc[VTIME] = 0;
  guard_input_raw(true);
  if (set_terminal_settings(fd, TCSADRAIN, *raw)) return true;
  guard_input_raw(false);
  return false;
}

bool retake_raw_input(int fd, termios* raw) {
  termios found{};
  if (::tcgetattr(fd, &found) != 0) return false;
  if (same_terminal_settings(found, *raw)) return set_terminal_settings(fd, TCSADRAIN, *raw);
  return enter_raw_input(fd, raw);
}

termios answer_settings(const termios& saved) {
  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | IEXTEN);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  return raw;
}

int signal_of_key(const termios& settings, const KeyEventRecord& k) {
  if (!(k.control_state & KeyState::CTRL_HELD) || (k.control_state & KeyState::ALT_HELD) || k.ch == 0 || k.ch >= 0x20) return 0;
  if (!(settings.c_lflag & ISIG)) return 0;
  const struct {
    int index;
    int sig;
  } keys[] = {{VINTR, SIGINT}, {VQUIT, SIGQUIT}, {VSUSP, SIGTSTP}};
  for (const auto& key : keys) {
    const cc_t c = settings.c_cc[key.index];
    if (c != _POSIX_VDISABLE && c == k.ch) return key.sig;
  }
  return 0;
}

}  // namespace zw
