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

#include <chrono>
#include <cstring>
#include <set>
#include <string>

#include "platform/posix/terminal_sequences.h"
#include "support/pty_pair.h"

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
    const PtyPair pty;
    ASSERT_GE(pty.device, 0) << "no pseudo-terminal";
    const termios before = settings_of(pty.device);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) guarded_child(pty.device, sig);
    const int status = wait_for_end(pid);
    const std::string name = std::to_string(sig) + " " + strsignal(sig);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << name << ": status " << status;
    EXPECT_TRUE(same_settings(settings_of(pty.device), before)) << name;
    const std::string sent = read_all(pty.terminal);
    EXPECT_NE(sent.find(KITTY_POP), std::string::npos) << name;
    EXPECT_NE(sent.find("\x1b[?25h"), std::string::npos) << name;
  }
}

termios raw_settings(int fd) {
  termios t = settings_of(fd);
  ::cfmakeraw(&t);
  t.c_lflag |= ISIG;
  return t;
}

// A way out while answers are on their way reads them up to the last one
// owed, so that none reaches whoever reads the terminal next; what follows
// stays.
TEST(TerminalGuard, OwedAnswersAreCollectedOnTheWayOut) {
  struct Case {
    LastAnswer last;
    std::string sent;
  };
  const Case cases[] = {
      {LastAnswer::CURSOR_REPORT, "\x1b[5;7Rx"},
      {LastAnswer::ATTRIBUTES, "\x1b[?1u\x1b[5;7R\x1b[?62;22cx"},
      // xterm's answer is longer than any key sequence.
      {LastAnswer::ATTRIBUTES, "\x1b[5;7R\x1b[?64;1;2;6;9;15;16;17;18;21;22;28;29cx"},
  };
  for (const Case& c : cases) {
    const PtyPair pty;
    const termios raw = raw_settings(pty.device);
    ASSERT_EQ(::tcsetattr(pty.device, TCSANOW, &raw), 0);
    guard_input_settings(pty.device, raw);
    guard_input_raw(true);
    guard_answers_owed(c.last);
    ASSERT_EQ(::write(pty.terminal, c.sent.data(), c.sent.size()), static_cast<ssize_t>(c.sent.size()));
    release_terminal();
    int left = -1;
    ASSERT_EQ(::ioctl(pty.device, FIONREAD, &left), 0);
    EXPECT_EQ(left, 1) << c.sent;
    EXPECT_FALSE(answers_owed());
  }
}

// Answers that have not come ANSWER_OWED_MS after the request never will:
// a way out then waits for nothing.
TEST(TerminalGuard, AnswersNotComeInTimeAreNotAwaited) {
  const PtyPair pty;
  const termios raw = raw_settings(pty.device);
  ASSERT_EQ(::tcsetattr(pty.device, TCSANOW, &raw), 0);
  guard_input_settings(pty.device, raw);
  guard_input_raw(true);
  guard_answers_owed(LastAnswer::ATTRIBUTES);
  ::usleep(ANSWER_OWED_MS * 1000);
  const auto start = std::chrono::steady_clock::now();
  release_terminal();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::milliseconds(ANSWER_COLLECT_MS / 2));
}

int g_caught = 0;
void catch_signal(int) { ++g_caught; }

// A signal the caller has a handler of its own for is handed to that
// handler, as its previous disposition, once the terminal is given back:
// a control signal and any other that would end the process alike.
TEST(TerminalGuard, PreviousHandlerGetsTheSignalAfterTheTerminalIsGivenBack) {
  const PtyPair pty;
  const termios before = settings_of(pty.device);
  struct sigaction mine {}, old_term {}, old_usr1 {};
  mine.sa_handler = catch_signal;
  sigemptyset(&mine.sa_mask);
  ::sigaction(SIGTERM, &mine, &old_term);
  ::sigaction(SIGUSR1, &mine, &old_usr1);
  install_terminal_guard();
  g_caught = 0;
  for (int sig : {SIGTERM, SIGUSR1}) {
    const termios raw = raw_settings(pty.device);
    guard_input_settings(pty.device, before);
    ::tcsetattr(pty.device, TCSANOW, &raw);
    guard_input_raw(true);
    guard_screen_used(pty.device);
    ::raise(sig);
    EXPECT_TRUE(same_settings(settings_of(pty.device), before)) << strsignal(sig);
    EXPECT_EQ(read_all(pty.terminal), CURSOR_SHOW) << strsignal(sig);
  }
  EXPECT_EQ(g_caught, 2);
  remove_terminal_guard();
  ::sigaction(SIGTERM, &old_term, nullptr);
  ::sigaction(SIGUSR1, &old_usr1, nullptr);
}

}  // namespace
}  // namespace zw
