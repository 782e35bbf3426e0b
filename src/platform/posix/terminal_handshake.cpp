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

// The terminal answers in order: its keyboard flags come before the cursor
// report when it speaks the protocol, so the wait is no longer.
void append_cursor_request(TerminalHandshake& h, KeyDecoder& d, std::string* out) {
  h.keyboard_in_request = !h.keyboard_asked;
  h.keyboard_asked = true;
  if (h.keyboard_in_request) {
    d.kitty_flags = -1;
    out->append(CURSOR_SAVE);
    out->append(KITTY_QUERY);
    out->append(CURSOR_RESTORE);
  }
  out->append(CURSOR_REQUEST);
}

CursorWait await_cursor_report(TerminalInput& in, int wait_ms, TypedAhead typed) {
  in.decoder.report_expected = true;
  in.decoder.report_received = false;
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(wait_ms);
  while (!in.decoder.report_received) {
    if (in.events.size() >= TYPED_AHEAD_MAX) return CursorWait::HELD_FULL;
    const int left = millis_until(until);
    if (left <= 0) return CursorWait::NO_ANSWER;
    pollfd p{in.fd, POLLIN, 0};
    const int n = ::poll(&p, 1, left);
    if (n < 0 && errno != EINTR) return CursorWait::NO_ANSWER;
    if (n > 0) read_terminal_piece(in);
    if (typed == TypedAhead::DROP) in.events.clear();
    if (in.hung_up) return CursorWait::HUNG_UP;
  }
  return CursorWait::ANSWERED;
}

bool settle_cursor_request(TerminalHandshake& h, KeyDecoder& d, TerminalScreen& s, bool still_owed) {
  if (!d.report_received) {
    if (!still_owed) {
      if (h.keyboard_in_request) h.keyboard_asked = false;
      return false;
    }
    h.cursor_reports = false;
    return false;
  }
  d.report_received = false;
  place_reported_cursor(h, s, d.report_row, d.report_column);
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
  if (set_terminal_settings(fd, TCSANOW, answer_settings(saved)) &&
      write_all_to(output_fd, CURSOR_REQUEST, sizeof CURSOR_REQUEST - 1)) {
    await_cursor_report(tty, CURSOR_REPORT_WAIT_MS, TypedAhead::DROP);
  }
  set_terminal_settings(fd, TCSANOW, saved);
  guard_input_raw(false);
  ::close(fd);
  if (!tty.decoder.report_received) {
    h.cursor_reports = false;
    return;
  }
  place_reported_cursor(h, s, tty.decoder.report_row, tty.decoder.report_column);
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
