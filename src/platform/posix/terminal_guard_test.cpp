#include "platform/posix/terminal_guard.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <string>

#include "platform/posix/terminal_sequences.h"

namespace zw {
namespace {

// A child that dumps no core and has `sig` at its default action, unblocked.
void become_plain_child(int sig) {
  const rlimit no_core{0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
  ::signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

// Waits for `pid` to end; a child that stopped instead is killed, and its
// status then says so.
int wait_for_end(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, WUNTRACED) < 0 && errno == EINTR) {
  }
  if (WIFSTOPPED(status)) {
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  return status;
}

// Asked of the system: whether `sig`'s default action ends a process.
bool ends_by_default(int sig) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    become_plain_child(sig);
    ::raise(sig);
    ::_exit(0);
  }
  const int status = wait_for_end(pid);
  return WIFSIGNALED(status) && WTERMSIG(status) == sig;
}

// The signals whose default action POSIX says ends the process; the system
// adds its own (the real-time signals, SIGSTKFLT, SIGPWR, ...).
const int POSIX_ENDING_SIGNALS[] = {
    SIGABRT, SIGALRM, SIGBUS, SIGFPE,  SIGHUP,  SIGILL,  SIGINT,    SIGKILL, SIGPIPE,   SIGQUIT,
    SIGSEGV, SIGSYS,  SIGTERM, SIGTRAP, SIGUSR1, SIGUSR2, SIGVTALRM, SIGXCPU, SIGXFSZ, SIGPROF,
};

struct Pty {
  int master = -1;
  int slave = -1;
};

Pty open_pty() {
  Pty p;
  p.master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (p.master < 0 || ::grantpt(p.master) != 0 || ::unlockpt(p.master) != 0) return p;
  p.slave = ::open(::ptsname(p.master), O_RDWR | O_NOCTTY);
  return p;
}

// A child owning the terminal `slave` (its controlling terminal, standard
// input and output) as the port owns it, raw and with the keyboard flags
// pushed and the screen used, that then raises `sig`.
[[noreturn]] void guarded_child(int slave, int sig) {
  ::setsid();
  ::ioctl(slave, TIOCSCTTY, 0);
  ::dup2(slave, STDIN_FILENO);
  ::dup2(slave, STDOUT_FILENO);
  become_plain_child(sig);
  termios saved{};
  ::tcgetattr(STDIN_FILENO, &saved);
  guard_input_settings(STDIN_FILENO, saved);
  termios raw = saved;
  ::cfmakeraw(&raw);
  raw.c_lflag |= ISIG;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  guard_input_raw(true);
  guard_screen_used(STDOUT_FILENO);
  guard_keyboard_pushed();
  install_terminal_guard();
  ::raise(sig);
  ::_exit(99);  // the signal was swallowed
}

std::string read_all(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  return out;
}

bool same_settings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Every signal that would end the process gives the terminal back first and
// then ends it as it would have: the settings as they were, the keyboard
// flags popped, the cursor shown. SIGKILL and SIGSTOP cannot be caught.
TEST(TerminalGuard, EverySignalThatEndsTheProcessGivesTheTerminalBack) {
  std::set<int> ending;
  for (int sig = 1; sig <= SIGRTMAX; ++sig) {
    if (sig > 31 && sig < SIGRTMIN) continue;  // kept by the C library
    if (ends_by_default(sig)) ending.insert(sig);
  }
  for (int sig : POSIX_ENDING_SIGNALS) EXPECT_TRUE(ending.count(sig)) << strsignal(sig) << " did not end a child";
  ending.erase(SIGKILL);

  for (int sig : ending) {
    const Pty pty = open_pty();
    ASSERT_GE(pty.slave, 0) << "no pseudo-terminal";
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.slave, &before), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) guarded_child(pty.slave, sig);
    const int status = wait_for_end(pid);
    const std::string name = std::to_string(sig) + " " + strsignal(sig);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << name << ": status " << status;
    termios after{};
    ASSERT_EQ(::tcgetattr(pty.slave, &after), 0);
    EXPECT_TRUE(same_settings(after, before)) << name;
    const std::string sent = read_all(pty.master);
    EXPECT_NE(sent.find(KITTY_POP), std::string::npos) << name;
    EXPECT_NE(sent.find("\x1b[?25h"), std::string::npos) << name;
    ::close(pty.slave);
    ::close(pty.master);
  }
}

}  // namespace
}  // namespace zw
