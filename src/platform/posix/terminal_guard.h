// The terminal guard: gives the terminal back on every way out, from the
// main thread or from a signal handler, and hands what the signals mean
// over to the main thread.
//
// Signals, once installed:
//   SIGINT, SIGQUIT  Ctrl+C and Ctrl+\: the control handler's Ctrl+C and
//                    Ctrl+Break events; unless it takes them, the terminal
//                    is given back and the process ends by the signal
//   SIGHUP, SIGTERM  close and shutdown events: handed to the control
//                    handler, then the terminal is given back and the
//                    process ends by the signal
//   SIGTSTP          the terminal is given back while the process is
//                    stopped; on resume the main thread is told
//   SIGCONT, SIGWINCH  noted for the main thread, which is woken
//   SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS, and every
//   other signal whose default action ends the process (SIGUSR1, SIGUSR2,
//   SIGALRM, SIGXCPU, SIGXFSZ, SIGPROF, SIGVTALRM, SIGPIPE, the real-time
//   signals)
//                    the terminal is given back, then the signal ends the
//                    process as it would have
// A signal the caller ignores (nohup, background jobs) stays ignored.
// Keyboard flags the port pushed (the kitty protocol) are popped wherever
// the terminal is given back, Ctrl+Z included; the port pushes them again
// on resume.
// Giving the terminal back never waits on it for long: the settings go back
// before the bytes, which are dropped when the terminal takes no output (not
// read, stopped by flow control); answers the port asked for and has not
// had yet are read up to the last of them first, for at most
// ANSWER_COLLECT_MS. A process that is no longer the terminal's foreground
// job (a stopped job killed from the shell) leaves the terminal alone.
//
// A handler reaches nothing but the guard's own record, which lives at file
// scope for that reason; the port fills it while it owns the terminal.
#pragma once

#include <termios.h>

#include "platform/console_port.h"

namespace zw {

// Installs the signal handlers (once) and the pipe through which they wake
// the main thread.
void install_terminal_guard();
// Gives the terminal back, forgets it, drops the control handler and puts
// every signal's previous disposition back.
void remove_terminal_guard();

// `saved` is how input `fd` was set before the program changed it; once
// marked raw, it is put back on every way out.
void guard_input_settings(int fd, const termios& saved);
void guard_input_raw(bool raw);
// The screen on terminal `output_fd` was drawn on (the cursor may be
// hidden) / a scrolling margin was set: both are undone on the way out.
void guard_screen_used(int output_fd);
void guard_margins_used();
// The port is about to push its keyboard flags (KITTY_PUSH) to the screen's
// terminal: from now on every way out pops them (KITTY_POP), once per push.
void guard_keyboard_pushed();
// Answers were asked for on the raw input, the last of them `last`: until
// settle_answers_owed, every way out (a stop too) first reads the terminal
// up to and including that answer, so that none reaches whoever reads the
// terminal next. A way out that reads them ends the debt (answers_owed then
// says false); so does ANSWER_OWED_MS after the request, by when a terminal
// that has not answered never will.
enum class LastAnswer : int { CURSOR_REPORT = 1, ATTRIBUTES = 2 };
constexpr int ANSWER_COLLECT_MS = 1000;
constexpr int ANSWER_OWED_MS = 3000;
void guard_answers_owed(LastAnswer last);
bool answers_owed();
void settle_answers_owed();
// Flags the port pushed were popped while it keeps the terminal (a stop):
// they are to be pushed again.
bool keyboard_flags_popped();

// Gives the terminal back: async-signal-safe, and harmless when repeated or
// when the terminal is gone.
void give_terminal_back();
// Gives the terminal back for good: nothing is put back again later.
void release_terminal();

// The control handler the control signals are handed to, nullptr for none,
// and the context it is called with.
void set_guarded_ctrl_handler(CtrlHandler handler, void* context);
CtrlHandler guarded_ctrl_handler();
void* guarded_ctrl_context();

// What the handlers left for the main thread since it last asked.
struct SignalNotes {
  bool continued = false;  // the process was stopped and has resumed
  bool resized = false;    // the terminal's size changed
};
SignalNotes take_signal_notes();
// The read end of the wake pipe, -1 when there is none.
int wake_fd();
void drain_wake_pipe();

}  // namespace zw
