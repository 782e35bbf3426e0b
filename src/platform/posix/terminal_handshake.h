// The handshake with the terminal: where its cursor stands (asked at start,
// on resume and after a size change), whether it speaks the kitty keyboard
// protocol (asked once, with the first cursor request), whether it decodes
// UTF-8 (found out once, with the first cursor request, where the locale
// does not tell), and how long its answers take (which sets the
// key-sequence deadline). Every batch of
// requests ends with the device attributes request, which every terminal
// answers after everything asked before it: that answer is the last, and
// ends the wait.
#pragma once

#include <string>

#include "platform/posix/terminal_guard.h"
#include "platform/posix/terminal_input.h"
#include "platform/posix/terminal_screen.h"
#include "platform/terminal_text.h"

namespace zw {

// How long the program waits for the answers before it goes on without them.
constexpr int ANSWER_WAIT_MS = 500;
// ... once the terminal has sent a cursor report: its answer is late, not
// missing (a machine under load, a slow link, a terminal busy redrawing
// after a resize), and a line drawn again without it lands on the wrong rows.
constexpr int ANSWER_AGAIN_WAIT_MS = 2000;
// While answers are awaited, what was typed ahead of them is read and held
// (in order, for the line editor) up to this many key events.
constexpr size_t TYPED_AHEAD_MAX = 128 * 1024;

struct TerminalHandshake {
  bool cursor_reports = true;        // the terminal answers cursor requests
  bool answered = false;             // ... and has sent a report, in time or late
  bool attributes = true;            // ... and device attributes requests, as far as known
  bool keyboard_asked = false;       // the kitty protocol query was sent
  bool keyboard_in_request = false;  // ... with the requests now awaited
  bool start_placed = false;         // the first cursor report was taken
  TextMode text_mode = TextMode::UTF8;  // how the terminal encodes characters
  bool probe_wanted = false;         // ... is to be found out (text_mode ASCII till then)
  bool probe_in_request = false;     // ... with the requests now awaited
  Clock::time_point sent{};          // when the requests now awaited went out
  int round_trip_ms = -1;            // to the first answer, of the last requests answered
};

// Appends a batch of requests to `out` and tells the decoder what to await:
// the first time the keyboard protocol query, then the cursor request, the
// encoding probe while it is wanted, then the device attributes request
// while the terminal answers it. Notes the time as the batch's.
void append_requests(TerminalHandshake& h, KeyDecoder& d, std::string* out);
// The answer the batch ends with, which a way out reads up to.
LastAnswer last_answer(const TerminalHandshake& h);

// Keys typed while answers are awaited: held in the queue for the line
// editor, or dropped (a terminal that is not the program's input).
enum class TypedAhead { HOLD, DROP };
enum class AnswerWait { ANSWERED, NO_ANSWER, HELD_FULL, HUNG_UP };

// Waits up to `wait_ms` for the answers to the batch on `in`, reading and
// decoding what comes before them, until the device attributes answer; a
// terminal that answers the cursor request but not that one is waited for
// a key-sequence deadline more. Notes the round trip to the first answer.
// Stops early when TYPED_AHEAD_MAX keys are held: the answers are then taken
// out of the keys when they come.
AnswerWait await_answers(TerminalHandshake& h, TerminalInput& in, int wait_ms, TypedAhead typed);
// True once the batch's last answer is in (or shown never to come).
bool answers_complete(const KeyDecoder& d);
// After a wait that ended without the answers, what came since: a cursor
// report shows the terminal answers after all, and it is asked again at the
// next size change. True once the batch's last answer is in.
bool take_late_answers(TerminalHandshake& h, KeyDecoder& d);
// How long to wait for the answers to the next batch.
inline int answer_wait_ms(const TerminalHandshake& h) { return h.answered ? ANSWER_AGAIN_WAIT_MS : ANSWER_WAIT_MS; }

// After the wait on the program's input, once the guard said whether the
// answers were collected by a stop meanwhile (`collected`: they are asked
// for again on resume). A terminal that sent no cursor report is not asked
// again until one comes late (take_late_answers); late answers are taken out
// of the keys. The probe's verdict goes to h.text_mode. True when the
// terminal answered the keyboard query too and is to be switched to the
// protocol.
bool settle_requests(TerminalHandshake& h, KeyDecoder& d, TerminalScreen& s, bool collected);

// The encoding the probe shows, from the cursor reports before and after it
// on a screen `columns` wide: UTF-8 when it took one cell, a byte a cell
// when it took two, and not known otherwise (the cursor stood too near the
// row's end to tell, or the reports make no sense).
TextMode probe_verdict(CursorReport before, CursorReport after, int columns);

// Asks where the cursor is on the terminal of `output_fd` while the input is
// elsewhere, through that terminal when it is the controlling one and the
// program is its foreground job; what was typed before the answers is lost.
void ask_cursor_through_output(TerminalHandshake& h, TerminalScreen& s, TextMode mode, int output_fd);

// Switches the terminal to the kitty keyboard protocol (the push noted
// with the guard); the caller sends `out`.
void append_keyboard_push(std::string* out);
// What a resume restores on the terminal: the hidden cursor, and the
// keyboard flags when a stop popped them.
void append_resume(const TerminalScreen& s, bool raw_input, std::string* out);

}  // namespace zw
