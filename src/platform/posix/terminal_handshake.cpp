#include "platform/posix/terminal_handshake.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/standard_streams.h"
#include "platform/posix/terminal_guard.h"
#include "platform/posix/terminal_modes.h"
#include "platform/posix/terminal_sequences.h"

namespace zw {

namespace {

// Whole milliseconds from now until `until`, 0 or less once it has passed.
int millis_until(Clock::time_point until) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
}

// The cursor where the terminal says it is (1-based). At the start, a
// cursor in the last column may be one waiting to wrap after output that
// filled the row: the program starts on a fresh row then, as a console's
// cursor would have moved on to it.
void place_reported_cursor(TerminalHandshake& h, TerminalScreen& s, int row, int column) {
  s.cursor.x = static_cast<int16_t>(std::clamp(column - 1, 0, s.columns - 1));
  s.cursor.y = static_cast<int16_t>(std::clamp(row - 1, 0, s.rows - 1));
  s.at_known = false;
  if (h.start_placed) return;
  h.start_placed = true;
  if (column < s.columns) return;
  s.out.append("\r\n");
  s.cursor.x = 0;
  s.cursor.y = static_cast<int16_t>(std::min(s.cursor.y + 1, s.rows - 1));
}

}  // namespace

// The terminal answers in order, the device attributes after everything
// asked before them, so the wait is no longer. The probe goes before the
// keyboard query, whose cursor restore would put a cursor that waits to wrap
// at the row's end (after output that filled the row) back onto the row's
// last character, for the probe to overwrite; it wraps instead.
void append_requests(TerminalHandshake& h, KeyDecoder& d, std::string* out) {
  h.keyboard_in_request = !h.keyboard_asked;
  h.keyboard_asked = true;
  h.probe_in_request = h.probe_wanted;
  if (h.probe_in_request) {
    out->append(CURSOR_REQUEST);
    out->append(CURSOR_SAVE);
    out->append(ENCODING_PROBE);
    out->append(CURSOR_REQUEST);
    out->append(CURSOR_RESTORE);
  }
  if (h.keyboard_in_request) {
    d.kitty_flags = -1;
    out->append(CURSOR_SAVE);
    out->append(KITTY_QUERY);
    out->append(CURSOR_RESTORE);
  }
  if (!h.probe_in_request) out->append(CURSOR_REQUEST);
  d.reports_expected = h.probe_in_request ? 2 : 1;
  d.reports_received = 0;
  d.attributes_expected = h.attributes;
  d.attributes_received = false;
  if (h.attributes) out->append(ATTRIBUTES_REQUEST);
  h.sent = Clock::now();
}

LastAnswer last_answer(const TerminalHandshake& h) {
  return h.attributes ? LastAnswer::ATTRIBUTES : LastAnswer::CURSOR_REPORT;
}

bool answers_complete(const KeyDecoder& d) {
  return d.attributes_received || (!d.attributes_expected && d.reports_expected == 0);
}

bool take_late_answers(TerminalHandshake& h, KeyDecoder& d) {
  if (d.reports_received > 0) {
    h.cursor_reports = true;
    h.answered = true;
  }
  return answers_complete(d);
}

AnswerWait await_answers(TerminalHandshake& h, TerminalInput& in, int wait_ms, TypedAhead typed) {
  KeyDecoder& d = in.decoder;
  const Clock::time_point until = h.sent + std::chrono::milliseconds(wait_ms);
  bool answered = false;           // something came: the round trip is known
  Clock::time_point reports_in{};  // when the last cursor report came
  for (;;) {
    const bool keyboard_answer = h.keyboard_in_request && d.kitty_flags >= 0;
    if (!answered && (d.reports_received > 0 || d.attributes_received || keyboard_answer)) {
      answered = true;
      h.round_trip_ms = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - h.sent).count());
    }
    if (answers_complete(d)) return AnswerWait::ANSWERED;
    Clock::time_point end = until;
    if (d.reports_expected == 0 && d.reports_received > 0) {
      // Every cursor report is in and the device attributes are not: a
      // terminal that answers them would have sent them by now.
      if (reports_in == Clock::time_point{}) reports_in = Clock::now();
      end = std::min(end, reports_in + std::chrono::milliseconds(key_deadline_for(h.round_trip_ms)));
    }
    if (in.events.size() >= TYPED_AHEAD_MAX) return AnswerWait::HELD_FULL;
    const int left = millis_until(end);
    if (left <= 0) {
      if (d.reports_expected > 0 || d.reports_received == 0) return AnswerWait::NO_ANSWER;
      d.attributes_expected = false;
      h.attributes = false;
      return AnswerWait::ANSWERED;
    }
    pollfd p{in.fd, POLLIN, 0};
    const int n = ::poll(&p, 1, left);
    if (n < 0 && errno != EINTR) return AnswerWait::NO_ANSWER;
    if (n > 0) read_terminal_piece(in);
    if (typed == TypedAhead::DROP) in.events.clear();
    if (in.hung_up) return AnswerWait::HUNG_UP;
  }
}

TextMode probe_verdict(CursorReport before, CursorReport after, int columns) {
  if (after.row != before.row || before.column < 1 || before.column > columns - 2) return TextMode::ASCII;
  switch (after.column - before.column) {
    case 1: return TextMode::UTF8;
    case 2: return TextMode::SINGLE_BYTE;
    default: return TextMode::ASCII;
  }
}

bool settle_requests(TerminalHandshake& h, KeyDecoder& d, TerminalScreen& s, bool collected) {
  if (h.probe_in_request && (d.reports_received > 0 || !collected)) {
    h.probe_wanted = false;
    if (d.reports_received >= 2) h.text_mode = probe_verdict(d.reports[0], d.reports[1], s.columns);
  }
  if (d.reports_received == 0) {
    if (collected) {
      if (h.keyboard_in_request) h.keyboard_asked = false;
      return false;
    }
    h.cursor_reports = false;
    return false;
  }
  h.answered = true;
  CursorReport at = d.reports[0];
  // A cursor that waited to wrap at the row's end wrapped with the probe
  // (scrolling the screen at the bottom row): the program starts on the row
  // it went to.
  const CursorReport after = d.reports[1];
  if (h.probe_in_request && d.reports_received >= 2 && at.column >= s.columns &&
      (after.row != at.row || after.column < at.column)) {
    at = {after.row, 1};
  }
  d.reports_received = 0;
  place_reported_cursor(h, s, at.row, at.column);
  return h.keyboard_in_request && d.kitty_flags >= 0;
}

// A background job reading the terminal would be stopped, hence the
// foreground check. The terminal is made raw only for the wait and read a
// byte at a time, so that what was typed after the answer stays for
// whoever reads the terminal next.
void ask_cursor_through_output(TerminalHandshake& h, TerminalScreen& s, TextMode mode, int output_fd) {
  if (!h.cursor_reports) return;
  const char* name = ::ttyname(output_fd);
  if (name == nullptr) return;
  const int fd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  termios saved{};
  if (!same_terminal(fd, output_fd) || ::tcgetsid(fd) != ::getsid(0) || ::tcgetpgrp(fd) != ::getpgrp() ||
      ::tcgetattr(fd, &saved) != 0) {
    ::close(fd);
    return;
  }
  guard_input_settings(fd, saved);
  guard_input_raw(true);
  TerminalInput tty;
  tty.fd = fd;
  tty.read_max = 1;
  reset_key_decoder(tty.decoder, mode);
  // The keyboard protocol is of no use without the keys.
  h.keyboard_asked = true;
  std::string requests;
  append_requests(h, tty.decoder, &requests);
  if (set_terminal_settings(fd, TCSANOW, answer_settings(saved))) {
    guard_answers_owed(last_answer(h));
    if (write_all_to(output_fd, requests.data(), requests.size())) {
      await_answers(h, tty, ANSWER_WAIT_MS, TypedAhead::DROP);
    }
    settle_answers_owed();
  }
  set_terminal_settings(fd, TCSANOW, saved);
  guard_input_raw(false);
  ::close(fd);
  settle_requests(h, tty.decoder, s, /*collected=*/false);
}

void append_keyboard_push(std::string* out) {
  guard_keyboard_pushed();
  out->append(KITTY_PUSH);
}

void append_resume(const TerminalScreen& s, bool raw_input, std::string* out) {
  if (!s.shown_visible) out->append(CURSOR_HIDE);
  if (raw_input && keyboard_flags_popped()) append_keyboard_push(out);
}

}  // namespace zw
