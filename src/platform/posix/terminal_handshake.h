// The handshake with the terminal: where its cursor stands (asked at start,
// on resume and after a size change) and whether it speaks the kitty
// keyboard protocol (asked once, with the first cursor request).
#pragma once

#include <string>

#include "platform/posix/terminal_input.h"
#include "platform/posix/terminal_screen.h"
#include "platform/terminal_text.h"

namespace zw {

constexpr int CURSOR_REPORT_WAIT_MS = 500;
// While a cursor report is awaited, what was typed ahead of it is read and
// held (in order, for the line editor) up to this many key events.
constexpr size_t TYPED_AHEAD_MAX = 128 * 1024;

struct TerminalHandshake {
  bool cursor_reports = true;      // the terminal answers cursor requests
  bool keyboard_asked = false;     // the kitty protocol query was sent
  bool keyboard_in_request = false;  // ... with the request now awaited
  bool start_placed = false;       // the first answer was taken
};

// Appends a cursor request to `out`, the first time with the keyboard
// protocol query before it.
void append_cursor_request(TerminalHandshake& h, KeyDecoder& d, std::string* out);

// Keys typed while a report is awaited: held in the queue for the line
// editor, or dropped (a terminal that is not the program's input).
enum class TypedAhead { HOLD, DROP };
enum class CursorWait { ANSWERED, NO_ANSWER, HELD_FULL, HUNG_UP };

// Waits up to `wait_ms` for the answer to a cursor request on `in`, reading
// and decoding what comes before it. Stops early when TYPED_AHEAD_MAX keys
// are held: the answer is then taken out of the keys when it comes.
CursorWait await_cursor_report(TerminalInput& in, int wait_ms, TypedAhead typed);

// After the wait on the program's input, once the guard said whether the
// answer was still owed (false: a stop collected it, and it is asked for
// again on resume). A terminal that did not answer is not asked again; a
// late answer is still taken out of the keys. True when the terminal
// answered the keyboard query too and is to be switched to the protocol.
bool settle_cursor_request(TerminalHandshake& h, KeyDecoder& d, TerminalScreen& s, bool still_owed);

// Asks where the cursor is on the terminal of `output_fd` while the input is
// elsewhere, through that terminal when it is the controlling one and the
// program is its foreground job; what was typed before the answer is lost.
void ask_cursor_through_output(TerminalHandshake& h, TerminalScreen& s, TextMode mode, int output_fd);

// Switches the terminal to the kitty keyboard protocol (the push noted
// with the guard); the caller sends `out`.
void append_keyboard_push(std::string* out);
// What a resume restores on the terminal: the hidden cursor, and the
// keyboard flags when a stop popped them.
void append_resume(const TerminalScreen& s, bool raw_input, std::string* out);

}  // namespace zw
