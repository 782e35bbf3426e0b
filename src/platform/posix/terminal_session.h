// The terminal session: the descriptors as the port found them, and what
// the port holds while it owns the terminal: raw input and its pump, the
// screen, the handshake, signals serviced on the main thread, and the end
// of the input on a hang-up or when the output is gone.
//
// Every way out gives the terminal back as it was (terminal_guard.h):
// normal end, Ctrl+C, Ctrl+\, SIGTERM, SIGHUP, a crash signal; Ctrl+Z gives
// it back while the program is stopped and the session takes it again on
// resume. SIGHUP and SIGTERM are the console's close event: the control
// handler queues the close key, then the process ends by the signal's
// default action. A terminal that hangs up without a signal (end of file,
// EIO or POLLHUP on it) is the close event too, and then the end of the
// input, as a redirected stream ends (lose_terminal): the program finishes
// its cycle and ends by its usual road. So does output that is gone for
// good (a pipe whose reader left) while the keys come from a terminal.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <string>

#include "platform/output_block.h"
#include "platform/posix/terminal_handshake.h"
#include "platform/posix/terminal_input.h"
#include "platform/posix/terminal_screen.h"

namespace zw {

// How long the terminal's size must stay as it is before it is read after
// a resize, and the longest wait for that. tmux resizes a pane at once but
// tells the program at most every 250 ms: a quiet time longer than that
// hears of every resize made before the screen is drawn.
constexpr int SIZE_SETTLE_MS = 300;
constexpr int SIZE_SETTLE_MAX_MS = 2000;

struct TerminalSession {
  int input_fd = STDIN_FILENO;
  int output_fd = STDOUT_FILENO;
  KeyDialect dialect = KeyDialect::COMMON;  // of the terminal TERM names
  RowsOnResize rows_on_resize = RowsOnResize::UNKNOWN;  // and what it does with its rows
  bool input_terminal = false;  // the input is a terminal
  bool output_screen = false;   // the output is a terminal with a screen to draw on
  bool taken_over = false;      // the guard is installed, text_mode known
  bool terminal_lost = false;   // hung up
  bool input_ended = false;     // hung up, or output gone: no more input
  TextMode text_mode = TextMode::ASCII;  // the terminal's, as far as known

  bool input_raw = false;  // the input switched to raw input
  TerminalInput input;     // its pump (input.settings: the raw settings)
  TerminalHandshake handshake;
  bool answers_late = false;  // the wait for them ended without the last one

  bool screen_on = false;     // the screen was opened
  TerminalScreen screen;
  bool size_changed = false;  // since the port last said

  // The output, once it failed (a terminal's too), and its block when it is
  // a file or pipe.
  RedirectedOutput out;
};

// What a new session starts from: the descriptors and TERM (`term`,
// nullptr for none), looked at but not touched, and the environment's STY
// and TMUX.
void start_session(TerminalSession& s, int input_fd, int output_fd, const char* term);
// The console's first use: takes the terminal over when there is one (the
// guard's signal handlers in place, the character encoding known as far as
// the locale, set by now, tells it), switches a terminal's input to raw
// input, and opens the screen: its size read and its cursor asked for (and
// its encoding, where the locale does not tell), the answers waited for (on
// the input when it is the same terminal).
void open_session(TerminalSession& s);
// The input in raw input with the signal keys kept; false when it is no
// terminal or could not be switched.
bool enter_session_raw_input(TerminalSession& s);
// True while there is a screen to draw on.
inline bool screen_open(const TerminalSession& s) { return s.screen_on && !s.out.failed; }
// Hands the update collected so far to the terminal in one write.
void send_screen_update(TerminalSession& s);
// Sends what is pending on the screen and in the output block.
void flush_session(TerminalSession& s);
// What the signal handlers left for the main thread: a resume (raw input
// again, the keyboard flags and a hidden cursor again, the cursor read
// again) and a size change (the size and the cursor read again, once the
// size has settled).
void service_signals(TerminalSession& s);
// Waits at most `timeout_ms` for keys on the raw input, and takes them.
void wait_terminal(TerminalSession& s, int timeout_ms);
// The oldest queued event, if any (*count 1 or 0); the terminal is read
// first when it is in raw input. False when there is no console input to
// look at. take_event takes it off the queue too.
bool peek_event(TerminalSession& s, InputRecord* record, int* count);
bool take_event(TerminalSession& s, InputRecord* record, int* count);
// The input ends as a redirected stream ends (see above).
void end_input(TerminalSession& s);

}  // namespace zw
