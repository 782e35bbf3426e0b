#include "platform/posix/terminal_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/posix/terminal_sequences.h"
#include "platform/posix/way_out_io.h"

namespace zw {

namespace {

// The named signals the guard handles; besides them, every real-time
// signal (SIGRTMIN..SIGRTMAX), whose default action also ends the process.
constexpr int HANDLED_SIGNALS[] = {
    SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT, SIGWINCH,
    SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS,
    SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGXFSZ, SIGPROF, SIGVTALRM,
    SIGPIPE,  // ignored by the port, so only when the caller has it at default
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef SIGLOST
    SIGLOST,
#endif
#ifdef __linux__
    SIGIO, SIGPWR,  // these two end the process on Linux only
#endif
};
constexpr int NAMED_COUNT = sizeof HANDLED_SIGNALS / sizeof HANDLED_SIGNALS[0];
// Slots for the named signals, then for the real-time ones.
constexpr int SLOT_COUNT = NAMED_COUNT + 64;

// The state a signal handler reads or writes: atomics of int and pointer
// size, the ones every target's atomics handle without a lock (bytes need
// a lock on some). ARMv5 has no atomic instructions and gets them through
// the kernel's helpers, which the compiler only knows to be lock-free at
// run time, hence "sometimes" rather than "always" lock-free there.
using GuardFlag = std::atomic<int>;
static_assert(ATOMIC_INT_LOCK_FREE != 0 && ATOMIC_POINTER_LOCK_FREE != 0);

struct TerminalGuard {
  GuardFlag input_raw{0};  // `saved` must be put back on `input_fd`
  int input_fd = -1;
  termios saved{};
  GuardFlag screen_used{0};  // the cursor may be hidden on `output_fd`
  int output_fd = STDOUT_FILENO;
  GuardFlag margins_used{0};
  GuardFlag keyboard_wanted{0};  // the port uses its keyboard flags
  GuardFlag keyboard_pushed{0};  // and they are on the terminal now
  GuardFlag answers_owed{0};     // the LastAnswer of answers on their way
  GuardFlag owed_until{0};       // till then, in ms of guard_clock
  timespec epoch{};              // guard_clock's 0
  std::atomic<CtrlHandler> ctrl_handler{nullptr};
  std::atomic<void*> ctrl_context{nullptr};
  GuardFlag continued{0};
  GuardFlag resized{0};
  int wake_pipe[2] = {-1, -1};  // wakes the main thread out of its wait
  bool installed = false;
  struct sigaction previous[SLOT_COUNT] = {};
  bool handled[SLOT_COUNT] = {};  // a handler of the guard's is in place
};

TerminalGuard g_guard;

int slot_count() { return NAMED_COUNT + std::min(SIGRTMAX - SIGRTMIN + 1, SLOT_COUNT - NAMED_COUNT); }

int slot_signal(int slot) { return slot < NAMED_COUNT ? HANDLED_SIGNALS[slot] : SIGRTMIN + (slot - NAMED_COUNT); }

int signal_slot(int sig) {
  for (int i = 0; i < NAMED_COUNT; ++i)
    if (HANDLED_SIGNALS[i] == sig) return i;
  if (sig >= SIGRTMIN && sig - SIGRTMIN < slot_count() - NAMED_COUNT) return NAMED_COUNT + (sig - SIGRTMIN);
  return -1;
}

void wake_main_thread() {
  if (g_guard.wake_pipe[1] < 0) return;
  const char byte = 0;
  [[maybe_unused]] ssize_t n = ::write(g_guard.wake_pipe[1], &byte, 1);
}

// Ends the process by `sig` as its previous disposition (normally the
// default action) would.
void end_by_signal(int sig) {
  const int slot = signal_slot(sig);
  if (slot >= 0 && g_guard.previous[slot].sa_handler != SIG_IGN) {
    ::sigaction(sig, &g_guard.previous[slot], nullptr);
  } else {
    ::signal(sig, SIG_DFL);
  }
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  ::raise(sig);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

// Ctrl+C, Ctrl+\, SIGTERM, SIGHUP: the console's control events. Ctrl+C and
// Ctrl+Break go on to the default action unless the control handler takes
// them; close and shutdown queue the close key and then end the process.
void on_control_signal(int sig) {
  const int saved_errno = errno;
  const ConsoleEvent event = sig == SIGINT    ? ConsoleEvent::CTRL_C
                             : sig == SIGQUIT ? ConsoleEvent::CTRL_BREAK
                             : sig == SIGHUP  ? ConsoleEvent::CLOSE
                                              : ConsoleEvent::SHUTDOWN;
  const CtrlHandler handler = g_guard.ctrl_handler.load();
  const bool handled = handler != nullptr && handler(g_guard.ctrl_context.load(), event);
  if (handled && (event == ConsoleEvent::CTRL_C || event == ConsoleEvent::CTRL_BREAK)) {
    errno = saved_errno;
    return;
  }
  give_terminal_back();
  end_by_signal(sig);
  errno = saved_errno;
}

// A fault raised by an instruction comes back on return; any other signal
// whose default action ends the process ends it here.
void on_ending_signal(int sig) {
  give_terminal_back();
  end_by_signal(sig);
}

void on_stop_signal(int) {
  const int saved_errno = errno;
  give_terminal_back();
  ::signal(SIGTSTP, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTSTP);
  ::raise(SIGTSTP);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);  // stops here until SIGCONT
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGTSTP, &sa, nullptr);
  ::sigprocmask(SIG_BLOCK, &set, nullptr);
  g_guard.continued.store(true);
  wake_main_thread();
  errno = saved_errno;
}

void on_continue_signal(int) {
  const int saved_errno = errno;
  g_guard.continued.store(true);
  wake_main_thread();
  errno = saved_errno;
}

void on_resize_signal(int) {
  const int saved_errno = errno;
  g_guard.resized.store(true);
  wake_main_thread();
  errno = saved_errno;
}

}  // namespace

void install_terminal_guard() {
  if (g_guard.installed) return;
  g_guard.installed = true;
  if (::pipe(g_guard.wake_pipe) == 0) {
    for (int fd : g_guard.wake_pipe) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
      ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  } else {
    g_guard.wake_pipe[0] = g_guard.wake_pipe[1] = -1;
  }
  for (int i = 0; i < slot_count(); ++i) {
    const int sig = slot_signal(i);
    if (::sigaction(sig, nullptr, &g_guard.previous[i]) != 0) continue;
    // A signal the caller ignores (nohup, background jobs) stays ignored.
    if (g_guard.previous[i].sa_handler == SIG_IGN) continue;
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    switch (sig) {
      case SIGINT: case SIGQUIT: case SIGTERM: case SIGHUP:
        sa.sa_handler = on_control_signal;
        break;
      case SIGTSTP:
        sa.sa_handler = on_stop_signal;
        break;
      case SIGCONT:
        sa.sa_handler = on_continue_signal;
        sa.sa_flags = SA_RESTART;
        break;
      case SIGWINCH:
        sa.sa_handler = on_resize_signal;
        sa.sa_flags = SA_RESTART;
        break;
      default:
        sa.sa_handler = on_ending_signal;
        break;
    }
    g_guard.handled[i] = ::sigaction(sig, &sa, nullptr) == 0;
  }
}

void remove_terminal_guard() {
  release_terminal();
  g_guard.ctrl_handler.store(nullptr);
  g_guard.ctrl_context.store(nullptr);
  if (!g_guard.installed) return;
  for (int i = 0; i < slot_count(); ++i) {
    if (!g_guard.handled[i]) continue;
    ::sigaction(slot_signal(i), &g_guard.previous[i], nullptr);
    g_guard.handled[i] = false;
  }
  g_guard.installed = false;
}

void guard_input_settings(int fd, const termios& saved) {
  g_guard.input_raw.store(false);
  g_guard.input_fd = fd;
  g_guard.saved = saved;
}

void guard_input_raw(bool raw) { g_guard.input_raw.store(raw); }

void guard_screen_used(int output_fd) {
  g_guard.output_fd = output_fd;
  g_guard.screen_used.store(true);
}

void guard_margins_used() { g_guard.margins_used.store(true); }

void guard_keyboard_pushed() {
  g_guard.keyboard_wanted.store(true);
  g_guard.keyboard_pushed.store(true);
}

// Milliseconds since the guard's epoch, taken the first time (on the main
// thread, before any debt is noted): async-signal-safe.
int guard_clock() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int>((now.tv_sec - g_guard.epoch.tv_sec) * 1000 + (now.tv_nsec - g_guard.epoch.tv_nsec) / 1000000);
}

void guard_answers_owed(LastAnswer last) {
  if (g_guard.epoch.tv_sec == 0 && g_guard.epoch.tv_nsec == 0) ::clock_gettime(CLOCK_MONOTONIC, &g_guard.epoch);
  g_guard.owed_until.store(guard_clock() + ANSWER_OWED_MS);
  g_guard.answers_owed.store(static_cast<int>(last));
}

bool answers_owed() { return g_guard.answers_owed.load() != 0; }

void settle_answers_owed() { g_guard.answers_owed.store(0); }

bool keyboard_flags_popped() { return g_guard.keyboard_wanted.load() && !g_guard.keyboard_pushed.load(); }

// The way out's sequences (terminal_sequences.h). The pop is sent once per
// push: a second one would pop what the shell may have pushed.
//
// Answers still owed are collected first, while input is raw (a terminal
// in the shell's settings would echo them). The settings go back
// next, as they need no room in the output; the bytes follow only as far as
// the terminal takes them at once. A process that is not the terminal's
// foreground job touches neither.
void give_terminal_back() {
  const bool pop = g_guard.keyboard_pushed.exchange(false);
  const int owed = g_guard.answers_owed.exchange(0);
  if (g_guard.input_raw.load() && in_foreground(g_guard.input_fd)) {
    if (owed != 0) {
      const int wait = std::min(ANSWER_COLLECT_MS, g_guard.owed_until.load() - guard_clock());
      read_past_answer(g_guard.input_fd, static_cast<LastAnswer>(owed), wait);
    }
    ::tcsetattr(g_guard.input_fd, TCSANOW, &g_guard.saved);
  }
  if ((g_guard.screen_used.load() || pop) && in_foreground(g_guard.output_fd)) {
    char seq[32];
    size_t n = 0;
    auto add = [&](const char* s) {
      const size_t len = std::strlen(s);
      std::memcpy(seq + n, s, len);
      n += len;
    };
    if (pop) add(KITTY_POP);
    if (g_guard.screen_used.load()) {
      if (g_guard.margins_used.load()) {
        add(CURSOR_SAVE);
        add(MARGINS_OFF);
        add(CURSOR_RESTORE);
      }
      add(CURSOR_SHOW);
    }
    write_without_waiting(g_guard.output_fd, seq, n);
  }
}

void release_terminal() {
  give_terminal_back();
  g_guard.input_raw.store(false);
  g_guard.screen_used.store(false);
  g_guard.margins_used.store(false);
  g_guard.keyboard_wanted.store(false);
}

// The context is stored before the handler and cleared after it, so a
// handler that runs never sees a stale context.
void set_guarded_ctrl_handler(CtrlHandler handler, void* context) {
  if (handler != nullptr) {
    g_guard.ctrl_context.store(context);
    g_guard.ctrl_handler.store(handler);
  } else {
    g_guard.ctrl_handler.store(nullptr);
    g_guard.ctrl_context.store(nullptr);
  }
}

CtrlHandler guarded_ctrl_handler() { return g_guard.ctrl_handler.load(); }

void* guarded_ctrl_context() { return g_guard.ctrl_context.load(); }

SignalNotes take_signal_notes() {
  SignalNotes notes;
  notes.continued = g_guard.continued.exchange(false);
  notes.resized = g_guard.resized.exchange(false);
  return notes;
}

int wake_fd() { return g_guard.wake_pipe[0]; }

void drain_wake_pipe() {
  if (g_guard.wake_pipe[0] < 0) return;
  char buf[64];
  while (::read(g_guard.wake_pipe[0], buf, sizeof buf) > 0) {
  }
}

}  // namespace zw
