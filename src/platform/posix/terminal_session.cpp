#include "platform/posix/terminal_session.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "platform/posix/standard_streams.h"
#include "platform/posix/terminal_guard.h"
#include "platform/posix/terminal_modes.h"

namespace zw {

namespace {

// The terminal hung up. The close event goes to the control handler and
// the terminal is given back as far as it still takes anything. Then the
// input ends.
void lose_terminal(TerminalSession& s) {
  if (s.terminal_lost) return;
  s.terminal_lost = true;
  const CtrlHandler handler = guarded_ctrl_handler();
  if (handler != nullptr) handler(guarded_ctrl_context(), ConsoleEvent::CLOSE);
  release_terminal();
  if (s.output_screen && same_terminal(s.input_fd, s.output_fd)) s.out.failed = true;
  end_input(s);
}

// Reads the terminal as take_terminal does, and meets a hang-up it saw.
// Answers that came after the wait for them are no longer owed.
void pump_terminal(TerminalSession& s, short found) {
  take_terminal(s.input, found);
  if (s.answers_late && take_late_answers(s.handshake, s.input.decoder)) {
    s.answers_late = false;
    settle_answers_owed();
  }
  if (s.input.hung_up) lose_terminal(s);
}

// What the terminal has sent so far; keys still queued are handed out
// first, and the terminal is looked at again once they are gone.
void take_input(TerminalSession& s) {
  service_signals(s);
  if (!s.input.events.empty()) return;
  pump_terminal(s, 0);
}

// What the handshake found out about the terminal's encoding, for the
// screen and the keys from now on.
void take_text_mode(TerminalSession& s) {
  s.text_mode = s.handshake.text_mode;
  s.screen.mode = s.text_mode;
  s.input.decoder.mode = s.text_mode;
}

// Asks the terminal where its cursor is (and the first time, whether it
// speaks the kitty protocol) and waits a bounded time for the answers; keys
// typed meanwhile are kept. Answers that do not come in that time stay owed
// (to the guard) until they come. Their round trip sets the key-sequence
// deadline.
void ask_cursor_position(TerminalSession& s) {
  if (!s.input_raw || !s.handshake.cursor_reports) return;
  append_requests(s.handshake, s.input.decoder, &s.screen.out);
  guard_answers_owed(last_answer(s.handshake));
  s.answers_late = false;
  send_screen_update(s);
  if (s.out.failed) {
    settle_answers_owed();
    return;
  }
  const AnswerWait wait = await_answers(s.handshake, s.input, answer_wait_ms(s.handshake), TypedAhead::HOLD);
  if (wait == AnswerWait::HUNG_UP) lose_terminal(s);
  const bool collected = !answers_owed();
  if (wait == AnswerWait::ANSWERED) {
    settle_answers_owed();
  } else {
    s.answers_late = !collected;
  }
  if (s.handshake.round_trip_ms >= 0) s.input.deadline_ms = key_deadline_for(s.handshake.round_trip_ms);
  if (s.input_ended || wait == AnswerWait::HELD_FULL) return;
  const bool keyboard = settle_requests(s.handshake, s.input.decoder, s.screen, collected);
  take_text_mode(s);
  if (keyboard) {
    // The terminal reports keys by the kitty protocol from now on: press,
    // repeat and release, with every modifier.
    append_keyboard_push(&s.screen.out);
    send_screen_update(s);
    s.input.decoder.kitty = true;
  }
}

// A resize seldom comes alone: a window dragged, a pane split or resized
// by a script sends signal after signal. The size is read once they have
// stopped for SIZE_SETTLE_MS (SIZE_SETTLE_MAX_MS after the first at the
// latest), so that the screen is drawn once, on the size the terminal
// ended at, and a drawing does not cross a resize still under way. What
// the signals noted meanwhile is added to `notes`; keys typed meanwhile
// wait in the terminal.
void await_settled_size(SignalNotes* notes) {
  const int fd = wake_fd();
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(SIZE_SETTLE_MAX_MS);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return;
    const int timeout = static_cast<int>(std::min<int64_t>(SIZE_SETTLE_MS, left));
    pollfd p{fd, POLLIN, 0};
    const int n = ::poll(fd >= 0 ? &p : nullptr, fd >= 0 ? 1 : 0, timeout);
    if (n == 0 || fd < 0 || (n < 0 && errno != EINTR)) return;
    drain_wake_pipe();
    const SignalNotes more = take_signal_notes();
    notes->continued = notes->continued || more.continued;
  }
}

// Once: the guard's signal handlers in place, the character encoding as far
// as the locale tells it (the terminal is asked when it does not).
void take_over_terminal(TerminalSession& s) {
  if (s.taken_over) return;
  s.taken_over = true;
  s.text_mode = locale_text_mode();
  s.handshake.text_mode = s.text_mode;
  s.handshake.probe_wanted = s.text_mode == TextMode::ASCII;
  install_terminal_guard();
}

// The screen: its size read and its cursor asked for.
void open_screen(TerminalSession& s) {
  s.screen_on = true;
  guard_screen_used(s.output_fd);
  int columns = 0, rows = 0;
  read_screen_size(s.output_fd, &columns, &rows);
  // Without an answer the cursor is taken to be at the start of the bottom
  // row: output then only ever scrolls what is above it.
  reset_terminal_screen(s.screen, s.text_mode, columns, rows, {0, static_cast<int16_t>(rows - 1)});
  // The answer comes on the input when that is this terminal, in raw mode
  // (otherwise it would show up as typed text); when the input is not, on
  // the terminal itself.
  if (s.input_terminal && same_terminal(s.input_fd, s.output_fd)) {
    enter_session_raw_input(s);
    ask_cursor_position(s);
  } else {
    ask_cursor_through_output(s.handshake, s.screen, s.text_mode, s.output_fd);
    take_text_mode(s);
  }
}

}  // namespace

void start_session(TerminalSession& s, int input_fd, int output_fd, const char* term) {
  s.input_fd = input_fd;
  s.output_fd = output_fd;
  s.dialect = key_dialect_of(term);
  s.rows_on_resize = rows_on_resize_of(term, std::getenv("STY"), std::getenv("TMUX"));
  s.input_terminal = ::isatty(input_fd) == 1;
  s.output_screen = is_screen(output_fd, term);
}

void open_session(TerminalSession& s) {
  if (!s.input_terminal && !s.output_screen) return;
  take_over_terminal(s);
  enter_session_raw_input(s);
  if (s.output_screen && !s.screen_on && !s.out.failed) open_screen(s);
}

bool enter_session_raw_input(TerminalSession& s) {
  if (!s.input_terminal || s.input_ended) return false;
  if (s.input_raw) return true;
  take_over_terminal(s);
  if (!enter_raw_input(s.input_fd, &s.input.settings)) return false;
  s.input_raw = true;
  s.input.fd = s.input_fd;
  reset_key_decoder(s.input.decoder, s.text_mode, s.dialect);
  return true;
}

void send_screen_update(TerminalSession& s) {
  if (s.screen.out.empty()) return;
  if (!s.out.failed && !write_all_to(s.output_fd, s.screen.out.data(), s.screen.out.size())) {
    s.out.failed = true;
    if (errno == EIO) lose_terminal(s);
    end_input(s);
  }
  s.screen.out.clear();
  // Something new is on the screen: the next look for keys is a real one,
  // so a key typed ahead meanwhile (an Escape behind the last Enter) is
  // found by the first poll that follows, as a console finds it.
  s.input.quiet = false;
}

void flush_session(TerminalSession& s) {
  if (s.screen_on) {
    finish_screen_update(s.screen);
    send_screen_update(s);
  }
  output_flush(s.out, DescriptorSink{s.output_fd});
  if (s.out.failed) end_input(s);
}

void service_signals(TerminalSession& s) {
  if (!s.taken_over) return;
  SignalNotes notes = take_signal_notes();
  if (!notes.continued && !notes.resized) return;
  drain_wake_pipe();
  if (notes.resized && s.screen_on) await_settled_size(&notes);
  const bool continued = notes.continued;
  s.input.quiet = false;  // typed while stopped, or sent on the way
  if (continued && s.input_raw) retake_raw_input(s.input_fd, &s.input.settings);
  if (!s.screen_on) return;
  s.size_changed = true;
  // Text written as to a file (a screen too small) is on the terminal
  // before the cursor is asked for.
  output_flush(s.out, DescriptorSink{s.output_fd});
  int columns = 0, rows = 0;
  read_screen_size(s.output_fd, &columns, &rows);
  resize_terminal_screen(s.screen, columns, rows);
  if (continued) append_resume(s.screen, s.input_raw, &s.screen.out);
  ask_cursor_position(s);
}

void wait_terminal(TerminalSession& s, int timeout_ms) {
  service_signals(s);
  if (!s.input.events.empty()) return;
  int timeout = timeout_ms;
  if (key_decoder_awaits_deadline(s.input.decoder)) timeout = std::min(timeout, deadline_left_ms(s.input));
  pollfd p[2] = {{s.input_fd, POLLIN, 0}, {wake_fd(), POLLIN, 0}};
  const int n = ::poll(p, wake_fd() >= 0 ? 2 : 1, std::max(timeout, 0));
  if (n < 0 || (p[1].revents & POLLIN)) {
    // A signal came: it is serviced first, which may read the terminal,
    // and then the terminal is looked at afresh.
    if (n > 0) drain_wake_pipe();
    s.input.quiet = false;
    take_input(s);
  } else if (n > 0) {
    pump_terminal(s, p[0].revents);
  } else {
    s.input.quiet = true;
    settle_overdue_sequence(s.input);
  }
}

bool peek_event(TerminalSession& s, InputRecord* record, int* count) {
  *count = 0;
  if (s.input_raw) {
    take_input(s);
  } else if (s.input.events.empty()) {
    return false;
  }
  if (!s.input.events.empty()) {
    *record = s.input.events.front();
    *count = 1;
  }
  return true;
}

bool take_event(TerminalSession& s, InputRecord* record, int* count) {
  const bool ok = peek_event(s, record, count);
  if (*count == 1) s.input.events.pop_front();
  return ok;
}

// Once the terminal hung up or standard output is gone for good (its
// reader left, `| head -1`), nothing the program does could be seen any
// more. The terminal is given back, the line being typed is ended as by
// Enter (what was typed counts, as the last line of a stream counts without
// its line end), and from then on standard input is no console and reads
// as empty. Nothing waits on the terminal any more.
void end_input(TerminalSession& s) {
  if (s.input_ended) return;
  s.input_ended = true;
  release_terminal();
  if (!s.input_raw) return;
  end_terminal_input(s.input);
  s.input_raw = false;
}

}  // namespace zw
