// The console port on POSIX: standard input and output as terminals, files
// or pipes.
//
// Files and pipes. Standard output that is not a terminal receives exactly
// the printed bytes, collected in blocks and written when a block is full,
// before the program waits for input, and at exit. Standard input is read in
// blocks.
//
// Terminals. The terminal screen is the console buffer and its window at
// once (terminal_screen.h); the terminal's input becomes key events
// (terminal_keys.h). Standard input on a terminal is switched to raw input
// with the signal keys kept, so that Ctrl+C and Ctrl+\ end the program as
// they end any other. Every way out gives the terminal back as it was
// (terminal_guard.h): normal end, Ctrl+C, Ctrl+\, SIGTERM, SIGHUP, a crash
// signal; Ctrl+Z gives it back while the program is stopped and the port
// takes it again on resume.
// SIGHUP and SIGTERM are the console's close event: the control handler
// queues the close key, then the process ends by the signal's default
// action. A terminal that hangs up without a signal (end of file, EIO or
// POLLHUP on it) is the close event too, and then the end of the input, as
// a redirected stream ends (lose_terminal): the program finishes its cycle
// and ends by its usual road. So does standard output that is gone for good
// (a pipe whose reader left) while the keys come from a terminal.
//
// What the port itself sends to the terminal (the screen's sequences are
// listed in terminal_screen.cpp, the way out in terminal_guard.cpp):
//   ESC [ 6 n            cursor position request, once at start, on resume
//                        and after a size change (answer: ESC [ row ; col R,
//                        awaited at most CURSOR_REPORT_WAIT_MS); with
//                        standard input elsewhere, once at start, answered
//                        on the controlling terminal
//   ESC 7 ESC [ ? u ESC 8
//                        kitty keyboard protocol query, at start, in the
//                        same write before the first cursor request; an
//                        answer (ESC [ ? flags u) before the cursor report
//                        means the terminal speaks the protocol. The query
//                        goes between cursor save and restore: a terminal
//                        that reads it as "restore cursor" (CSI u) would
//                        otherwise move its cursor to where it last saved it
//   ESC [ > 31 u         push of the keyboard flags (kitty_keys.h), after
//                        such an answer and again on resume; popped on every
//                        way out (terminal_guard.cpp)
//   CR LF                at start, when the cursor stood in the last column
//   ESC [ ? 25 l         on resume, when the program had the cursor hidden
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/output_block.h"
#include "platform/platform_port.h"
#include "platform/posix/kitty_keys.h"
#include "platform/posix/standard_streams.h"
#include "platform/posix/terminal_guard.h"
#include "platform/posix/terminal_keys.h"
#include "platform/posix/terminal_screen.h"
#include "platform/us_layout.h"

namespace zw {

namespace {

constexpr int CURSOR_REPORT_WAIT_MS = 500;
constexpr uint16_t TERMINAL_ATTRIBUTE = 7;
// The terminal is read in pieces of at most this many bytes, and only once
// the keys decoded from the last piece have been handed out: whatever is
// typed or pasted waits in the terminal's own buffer, and what the program
// holds stays below one piece's worth.
constexpr size_t TERMINAL_READ_MAX = 1024;
// Except while a cursor report is awaited: what was typed ahead of it is
// read and held (in order, for the line editor) up to this many key events.
constexpr size_t TYPED_AHEAD_MAX = 128 * 1024;

using Clock = std::chrono::steady_clock;

// Whole milliseconds from now until `until`, 0 or less once it has passed.
int millis_until(Clock::time_point until) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
}

// Sets a terminal's settings, again when a signal interrupted the call.
bool set_terminal_settings(int fd, int when, const termios& settings) {
  while (::tcsetattr(fd, when, &settings) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool same_terminal_settings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

class PosixConsolePort final : public ConsolePort {
 public:
  PosixConsolePort() {
    keep_standard_descriptors();
    // A reader that went away (`| head -1`) shows up as a failed write,
    // not as a signal that kills the program mid-way.
    ::signal(SIGPIPE, SIG_IGN);
    input_tty_ = ::isatty(STDIN_FILENO) == 1;
    output_tty_ = output_is_screen();
    output_terminal_ = ::isatty(STDOUT_FILENO) == 1;
  }

  ~PosixConsolePort() override {
    flush();
    remove_terminal_guard();
  }

  bool input_is_console() override { return input_tty_ && !input_ended_; }

  // Processed input on a terminal: raw input with the signal keys kept.
  bool enable_processed_input() override {
    if (!input_tty_ || input_ended_) return false;
    if (input_raw_) return true;
    take_over_terminal();
    if (!enter_raw_input()) return false;
    input_raw_ = true;
    reset_key_decoder(decoder_, text_mode_, key_dialect_of(std::getenv("TERM")));
    return true;
  }

  bool set_ctrl_handler(CtrlHandler handler, void* context, bool add) override {
    if (add) {
      set_guarded_ctrl_handler(handler, context);
    } else if (guarded_ctrl_handler() == handler) {
      set_guarded_ctrl_handler(nullptr, nullptr);
    }
    return true;
  }

  // ---- Screen output -----------------------------------------------------

  bool get_screen_buffer_info(ScreenBufferInfo* info) override {
    service_signals();
    if (!open_screen()) return false;
    info->size = {static_cast<int16_t>(screen_.columns), static_cast<int16_t>(screen_.rows)};
    info->cursor = screen_.cursor;
    info->attributes = TERMINAL_ATTRIBUTE;
    info->window = {0, 0, static_cast<int16_t>(screen_.columns - 1), static_cast<int16_t>(screen_.rows - 1)};
    return true;
  }

  bool write_cells(const CharCell* cells, int count, Coord at) override {
    return open_screen() && screen_write_cells(screen_, cells, count, at);
  }

  bool scroll_rect(SmallRect source, Coord dest, CharCell fill) override {
    if (!open_screen()) return false;
    const bool ok = screen_scroll(screen_, source, dest, fill);
    if (screen_.margins_used) guard_margins_used();
    return ok;
  }

  bool fill_chars(uint8_t ch, int count, Coord at) override {
    return open_screen() && screen_fill(screen_, ch, count, at);
  }

  // Attributes do not show: every cell keeps the terminal's colours.
  bool fill_attrs(uint16_t, int, Coord at) override {
    return open_screen() && at.x >= 0 && at.y >= 0 && at.x < screen_.columns && at.y < screen_.rows;
  }

  bool set_cursor_position(Coord pos) override { return open_screen() && screen_set_cursor(screen_, pos); }

  bool get_cursor_info(CursorInfo* info) override {
    if (!open_screen()) return false;
    info->size = cursor_size_;
    info->visible = screen_.cursor_visible;
    return true;
  }

  bool set_cursor_info(const CursorInfo& info) override {
    if (!open_screen()) return false;
    cursor_size_ = info.size;
    screen_set_visible(screen_, info.visible);
    return true;
  }

  // Window and buffer are the same rectangle: there is nothing to move.
  bool set_window(SmallRect) override { return open_screen(); }

  // A terminal written to as a file (TERM=dumb, a screen too small) gets
  // the bytes in its own encoding.
  bool write_bytes(const char* bytes, size_t count, size_t* written) override {
    bool ok;
    if (output_terminal_) {
      if (!output_mode_known_) {
        output_mode_ = locale_text_mode();
        output_mode_known_ = true;
      }
      converted_.clear();
      append_terminal_text(bytes, count, output_mode_, &converted_);
      size_t n = 0;
      ok = output_write(out_, converted_.data(), converted_.size(), &n, write_stdout);
      *written = ok ? count : 0;
    } else {
      ok = output_write(out_, bytes, count, written, write_stdout);
    }
    if (!ok) end_input();
    return ok;
  }

  // A terminal written to as a file gets its bytes converted, so only files
  // and pipes take the block directly.
  RedirectedOutput* redirected_output() override { return output_terminal_ ? nullptr : &out_; }

  void beep(int, int) override {
    if (open_screen()) screen_bell(screen_);
  }

  // An update waits for the next flush, which comes before the program
  // waits for a key or for input and at its end: all that one key does
  // (cursor hidden, text, cursor placed and shown) reaches the terminal in
  // one write. Output that runs on without a wait goes out in blocks.
  void end_update() override {
    if (!screen_on_) return;
    finish_screen_update(screen_);
    if (screen_.out.size() >= OUTPUT_BLOCK) send_screen_update();
  }

  void flush() override {
    if (screen_on_) {
      finish_screen_update(screen_);
      send_screen_update();
    }
    output_flush(out_, write_stdout);
    if (out_.failed) end_input();
  }

  bool take_size_change() override {
    service_signals();
    const bool changed = size_changed_;
    size_changed_ = false;
    return changed;
  }

  // ---- Console input -----------------------------------------------------

  bool peek_input(InputRecord* record, int* count) override { return next_event(record, count, false); }

  bool read_input(InputRecord* record, int* count) override { return next_event(record, count, true); }

  unsigned map_virtual_key_char(unsigned vk) override { return us_layout_vk_char(vk); }

  void wait_input(int timeout_ms) override {
    flush();
    if (input_ended_) {
      // Nothing will come: the wait is only a pause, never a busy loop.
      if (events_.empty()) ::poll(nullptr, 0, std::max(timeout_ms, 0));
      return;
    }
    if (!input_raw_) {
      pollfd p{STDIN_FILENO, POLLIN, 0};
      ::poll(&p, 1, timeout_ms);
      return;
    }
    service_signals();
    if (!events_.empty()) return;
    int timeout = timeout_ms;
    if (key_decoder_awaits_deadline(decoder_)) timeout = std::min(timeout, deadline_left_ms());
    pollfd p[2] = {{STDIN_FILENO, POLLIN, 0}, {wake_fd(), POLLIN, 0}};
    const int n = ::poll(p, wake_fd() >= 0 ? 2 : 1, std::max(timeout, 0));
    if (n < 0 || (p[1].revents & POLLIN)) {
      // A signal came: it is serviced first, which may read the terminal,
      // and then the terminal is looked at afresh.
      if (n > 0) drain_wake_pipe();
      terminal_quiet_ = false;
      take_input();
    } else if (n > 0) {
      take_terminal(p[0].revents);
    } else {
      terminal_quiet_ = true;
      settle_overdue_sequence();
    }
  }

  size_t read_stdin(char* buffer, size_t count) override {
    flush();  // what was printed so far is seen before the program blocks
    // Once standard output is gone (its reader left, `| head -1`), nothing
    // the program does can be seen any more: the input counts as ended, so
    // the program stops at the end of the cycle instead of reading on, for
    // ever when the input never ends.
    if (out_.failed || input_ended_) return 0;
    return read_stdin_some(buffer, count);
  }

 private:
  // The oldest queued event, taken off the queue when `take` is set; the
  // terminal is read first when it is in raw input.
  bool next_event(InputRecord* record, int* count, bool take) {
    *count = 0;
    if (input_raw_) {
      take_input();
    } else if (events_.empty()) {
      return false;
    }
    if (!events_.empty()) {
      *record = events_.front();
      if (take) events_.pop_front();
      *count = 1;
    }
    return true;
  }

  // Takes the terminal over, once: the guard's signal handlers in place,
  // the character encoding known (the locale is set by now).
  void take_over_terminal() {
    if (taken_over_) return;
    taken_over_ = true;
    text_mode_ = locale_text_mode();
    install_terminal_guard();
  }

  // Notes the terminal's settings as they are now, to give back, and
  // switches to raw input with the signal keys kept.
  bool enter_raw_input() {
    termios saved{};
    if (::tcgetattr(STDIN_FILENO, &saved) != 0) return false;
    guard_input_settings(STDIN_FILENO, saved);
    raw_ = saved;
    raw_.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw_.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    raw_.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | IEXTEN);
    raw_.c_lflag |= ISIG;
    raw_.c_cc[VMIN] = 1;
    raw_.c_cc[VTIME] = 0;
    guard_input_raw(true);
    if (apply_raw()) return true;
    guard_input_raw(false);
    return false;
  }

  // Raw input again after a resume. Settings the shell set while the
  // program was stopped are the ones to give back at the end; the
  // program's own raw ones, still in place after a SIGCONT without a stop,
  // never are.
  bool retake_raw_input() {
    termios found{};
    if (::tcgetattr(STDIN_FILENO, &found) != 0) return false;
    if (same_terminal_settings(found, raw_)) return apply_raw();
    return enter_raw_input();
  }

  bool apply_raw() { return set_terminal_settings(STDIN_FILENO, TCSADRAIN, raw_); }

  // Opens the screen on first use: reads its size and asks the terminal
  // where its cursor is, which switches a terminal on standard input to raw
  // input and waits up to CURSOR_REPORT_WAIT_MS for the answer. True while
  // there is a screen to draw on.
  bool open_screen() {
    if (!output_tty_ || out_.failed) return false;
    if (screen_on_) return true;
    take_over_terminal();
    screen_on_ = true;
    guard_screen_used();
    int columns = 0, rows = 0;
    read_screen_size(&columns, &rows);
    // Without an answer the cursor is taken to be at the start of the
    // bottom row: output then only ever scrolls what is above it.
    reset_terminal_screen(screen_, text_mode_, columns, rows, {0, static_cast<int16_t>(rows - 1)});
    // The answer comes on standard input when that is this terminal, in raw
    // mode (otherwise it would show up as typed text); when standard input
    // is not, on the terminal itself.
    if (input_tty_ && same_terminal(STDIN_FILENO, STDOUT_FILENO)) {
      enable_processed_input();
      ask_cursor_position();
    } else {
      ask_cursor_through_output();
    }
    return true;
  }

  // Asks where the cursor is with standard input elsewhere (a file, a
  // pipe): through the controlling terminal, when standard output is that
  // terminal and the program is its foreground job (a background job
  // reading it would be stopped). It is made raw only for the wait, at most
  // CURSOR_REPORT_WAIT_MS, and read a byte at a time so that what was typed
  // after the answer stays for whoever reads the terminal next; what was
  // typed before it is lost.
  void ask_cursor_through_output() {
    if (!cursor_reports_) return;
    const char* name = ::ttyname(STDOUT_FILENO);
    if (name == nullptr) return;
    const int fd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    termios saved{};
    if (!same_terminal(fd, STDOUT_FILENO) || ::tcgetsid(fd) != ::getsid(0) || ::tcgetpgrp(fd) != ::getpgrp() ||
        ::tcgetattr(fd, &saved) != 0) {
      ::close(fd);
      return;
    }
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | IEXTEN);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    guard_input_settings(fd, saved);
    guard_input_raw(true);
    KeyDecoder decoder;
    reset_key_decoder(decoder, text_mode_);
    decoder.report_expected = true;
    if (::tcsetattr(fd, TCSANOW, &raw) == 0) {
      send_screen_update();
      static const char request[] = "\x1b[6n";
      if (write_stdout(request, sizeof request - 1)) {
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(CURSOR_REPORT_WAIT_MS);
        std::vector<KeyEventRecord> typed;  // dropped
        while (!decoder.report_received) {
          const int left = millis_until(until);
          if (left <= 0) break;
          pollfd p{fd, POLLIN, 0};
          const int n = ::poll(&p, 1, left);
          if (n < 0 && errno != EINTR) break;
          if (n <= 0) continue;
          char byte;
          if (::read(fd, &byte, 1) != 1) break;
          typed.clear();
          decode_key_bytes(decoder, &byte, 1, &typed);
        }
      }
    }
    set_terminal_settings(fd, TCSANOW, saved);
    guard_input_raw(false);
    ::close(fd);
    if (!decoder.report_received) {
      cursor_reports_ = false;
      return;
    }
    take_cursor_report(decoder.report_row, decoder.report_column);
  }

  // The cursor where the terminal says it is (1-based). At the start, a
  // cursor in the last column may be one waiting to wrap after output that
  // filled the row: the program starts on a fresh row then, as a console's
  // cursor would have moved on to it.
  void take_cursor_report(int row, int column) {
    screen_.cursor.x = static_cast<int16_t>(std::clamp(column - 1, 0, screen_.columns - 1));
    screen_.cursor.y = static_cast<int16_t>(std::clamp(row - 1, 0, screen_.rows - 1));
    screen_.at_known = false;
    if (start_placed_) return;
    start_placed_ = true;
    if (column < screen_.columns) return;
    screen_.out.append("\r\n");
    screen_.cursor.x = 0;
    screen_.cursor.y = static_cast<int16_t>(std::min(screen_.cursor.y + 1, screen_.rows - 1));
  }

  // Asks the terminal where its cursor is and waits a bounded time for the
  // answer; keys typed meanwhile are kept. A terminal that did not answer
  // once is not asked again.
  //
  // The first time, the kitty keyboard protocol is asked for in the same
  // write: the terminal answers in order, so its flags come before the
  // cursor report when it speaks the protocol, and the wait is no longer.
  void ask_cursor_position() {
    if (!input_raw_ || !cursor_reports_) return;
    const bool ask_keyboard = !keyboard_asked_;
    keyboard_asked_ = true;
    if (ask_keyboard) {
      decoder_.kitty_flags = -1;
      screen_.out.append("\x1b" "7");
      screen_.out.append(KITTY_QUERY);
      screen_.out.append("\x1b" "8");
    }
    screen_.out.append("\x1b[6n");
    guard_answer_owed();
    send_screen_update();
    if (out_.failed) {
      take_answer_owed();
      return;
    }
    decoder_.report_expected = true;
    decoder_.report_received = false;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(CURSOR_REPORT_WAIT_MS);
    bool held_full = false;
    while (!decoder_.report_received) {
      // Keys in the way of the answer are not read past the bound: the
      // answer is then taken out of the keys when it comes.
      held_full = events_.size() >= TYPED_AHEAD_MAX;
      if (held_full) break;
      const int left = millis_until(until);
      if (left <= 0) break;
      pollfd p{STDIN_FILENO, POLLIN, 0};
      const int n = ::poll(&p, 1, left);
      if (n < 0 && errno != EINTR) break;
      if (n > 0) read_terminal();
      if (input_ended_) break;
    }
    const bool still_owed = take_answer_owed();
    if (input_ended_ || held_full) return;
    if (!decoder_.report_received) {
      if (!still_owed) {
        // Collected by a stop (Ctrl+Z) during the wait: asked again on resume.
        if (ask_keyboard) keyboard_asked_ = false;
        return;
      }
      cursor_reports_ = false;  // a late answer is still taken out of the keys
      return;
    }
    decoder_.report_received = false;
    take_cursor_report(decoder_.report_row, decoder_.report_column);
    if (ask_keyboard && decoder_.kitty_flags >= 0) use_kitty_keyboard();
  }

  // The terminal reports keys by the kitty protocol from now on: press,
  // repeat and release, with every modifier.
  void use_kitty_keyboard() {
    guard_keyboard_pushed();
    screen_.out.append(KITTY_PUSH);
    send_screen_update();
    decoder_.kitty = true;
  }

  // Hands the update collected so far to the terminal in one write.
  void send_screen_update() {
    if (screen_.out.empty()) return;
    if (!out_.failed && !write_stdout(screen_.out.data(), screen_.out.size())) {
      out_.failed = true;
      if (errno == EIO) lose_terminal();
      end_input();
    }
    screen_.out.clear();
    // Something new is on the screen: the next look for keys is a real one,
    // so a key typed ahead meanwhile (an Escape behind the last Enter) is
    // found by the first poll that follows, as a console finds it.
    terminal_quiet_ = false;
  }

  // What the signal handlers left for the main thread: a resume (raw input
  // again, the cursor read again) and a size change.
  void service_signals() {
    if (!taken_over_) return;
    const SignalNotes notes = take_signal_notes();
    const bool continued = notes.continued;
    if (!continued && !notes.resized) return;
    drain_wake_pipe();
    terminal_quiet_ = false;  // typed while stopped, or sent on the way
    if (continued && input_raw_) retake_raw_input();
    if (!screen_on_) return;
    size_changed_ = true;
    // Text written as to a file (a screen too small) is on the terminal
    // before the cursor is asked for.
    output_flush(out_, write_stdout);
    int columns = 0, rows = 0;
    read_screen_size(&columns, &rows);
    resize_terminal_screen(screen_, columns, rows);
    if (continued && !screen_.shown_visible) screen_.out.append("\x1b[?25l");
    if (continued && input_raw_ && keyboard_flags_popped()) {
      guard_keyboard_pushed();
      screen_.out.append(KITTY_PUSH);
    }
    ask_cursor_position();
  }

  // Reads a piece of what the terminal has sent and decodes it into the
  // event queue. False when nothing was there. A piece shorter than the
  // most that was asked for is all there was.
  bool read_terminal() {
    char buf[TERMINAL_READ_MAX];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n > 0) {
      terminal_quiet_ = static_cast<size_t>(n) < sizeof buf;
      decoded_.clear();
      decode_key_bytes(decoder_, buf, static_cast<size_t>(n), &decoded_);
      queue_keys(decoded_);
      last_byte_ = Clock::now();
      return true;
    }
    if (n == 0 || errno == EIO) lose_terminal();
    return false;
  }

  // What the terminal has sent so far, a piece at a time (TERMINAL_READ_MAX),
  // without waiting, except for the rest of a sequence that stopped short:
  // that is awaited up to its deadline, and then settled (with the kitty
  // protocol on, it waits for its rest, as any key does).
  void take_input() {
    service_signals();
    // Keys still queued are handed out first; the terminal is looked at
    // again once they are gone.
    if (!events_.empty()) return;
    take_terminal(0);
  }

  // Reads the terminal, given what a poll has just found on it (`found`,
  // its revents), or with a look of its own first when `found` is 0.
  //
  // A terminal found quiet (nothing there, or a piece shorter than asked
  // for) is not looked at again without a wait: the line editor asks for
  // keys several times for each key, and the wait looks anyway, so each
  // look would be a system call that finds nothing. Keys typed meanwhile
  // are taken at the next wait, in order, or at the first look after the
  // screen changes.
  void take_terminal(short found) {
    for (;;) {
      if (found == 0) {
        int timeout = 0;
        if (key_decoder_awaits_deadline(decoder_)) {
          timeout = deadline_left_ms();
        } else if (terminal_quiet_) {
          return;
        }
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int n = ::poll(&p, 1, timeout);
        if (n < 0) {
          if (errno == EINTR) continue;
          return;
        }
        found = n > 0 ? p.revents : 0;
        if (found == 0) terminal_quiet_ = true;
      }
      if (found & POLLIN) {
        // A piece that gave no key (part of a sequence, a cursor report)
        // is followed by the next.
        if (read_terminal() && events_.empty()) {
          found = 0;
          continue;
        }
        return;
      }
      if (found & (POLLHUP | POLLERR | POLLNVAL)) lose_terminal();
      settle_overdue_sequence();
      return;
    }
  }

  // The signal the line discipline raises for the control byte this key
  // sends (the terminal's intr, quit and susp characters), 0 for none.
  int signal_of_key(const KeyEventRecord& k) const {
    const uint32_t ctrl = KeyState::LEFT_CTRL | KeyState::RIGHT_CTRL;
    const uint32_t alt = KeyState::LEFT_ALT | KeyState::RIGHT_ALT;
    if (!(k.control_state & ctrl) || (k.control_state & alt) || k.ch == 0 || k.ch >= 0x20) return 0;
    if (!(raw_.c_lflag & ISIG)) return 0;
    const struct {
      int index;
      int sig;
    } keys[] = {{VINTR, SIGINT}, {VQUIT, SIGQUIT}, {VSUSP, SIGTSTP}};
    for (const auto& key : keys) {
      const cc_t c = raw_.c_cc[key.index];
      if (c != _POSIX_VDISABLE && c == k.ch) return key.sig;
    }
    return 0;
  }

  // Raises `sig` to the terminal's foreground job, this process among it;
  // to this process alone when the terminal names none.
  static void raise_for_terminal(int sig) {
    const pid_t job = ::tcgetpgrp(STDIN_FILENO);
    if (job <= 0 || ::kill(-job, sig) != 0) ::raise(sig);
  }

  // A sequence that stopped short and whose deadline has passed becomes
  // the keys it stands for (a lone Escape, mostly).
  void settle_overdue_sequence() {
    if (!key_decoder_awaits_deadline(decoder_) || deadline_left_ms() > 0) return;
    std::vector<KeyEventRecord> keys;
    decode_key_deadline(decoder_, &keys);
    queue_keys(keys);
  }

  int deadline_left_ms() const {
    const auto passed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last_byte_).count();
    return static_cast<int>(std::max<long long>(0, KEY_SEQUENCE_DEADLINE_MS - passed));
  }

  // Key events as a console reports them: each press followed by its
  // release, which the decoder gives only with the kitty protocol on.
  void queue_keys(const std::vector<KeyEventRecord>& keys) {
    for (const KeyEventRecord& k : keys) {
      if (decoder_.kitty) {
        // The terminal sends Ctrl+C, Ctrl+\ and Ctrl+Z as key reports
        // instead of the bytes that make the line discipline raise
        // SIGINT, SIGQUIT and SIGTSTP: they are raised here, to the whole
        // foreground job as the line discipline raises them (a script or
        // make that started the program stops or ends with it), and the
        // handlers do what they do for those bytes. Neither the press nor
        // the release is a key.
        if (const int sig = signal_of_key(k); sig != 0) {
          if (k.key_down) raise_for_terminal(sig);
          continue;
        }
      }
      InputRecord rec;
      rec.type = InputEventKind::KEY;
      rec.key = k;
      events_.push_back(rec);
      if (decoder_.kitty) continue;
      rec.key.key_down = false;
      events_.push_back(rec);
    }
  }

  // The terminal hung up. The close event goes to the control handler and
  // the terminal is given back as far as it still takes anything. Then the
  // input ends.
  void lose_terminal() {
    if (terminal_lost_) return;
    terminal_lost_ = true;
    const CtrlHandler handler = guarded_ctrl_handler();
    if (handler != nullptr) handler(guarded_ctrl_context(), ConsoleEvent::CLOSE);
    release_terminal();
    if (output_tty_ && same_terminal(STDIN_FILENO, STDOUT_FILENO)) out_.failed = true;
    end_input();
  }

  // The input ends as a redirected stream ends, once the terminal hung up
  // or standard output is gone for good (its reader left, `| head -1`):
  // nothing the program does could be seen any more. The terminal is given
  // back, the line being typed is ended as by Enter (what was typed counts,
  // as the last line of a stream counts without its line end), and from
  // then on standard input is no console and reads as empty. Nothing waits
  // on the terminal any more.
  void end_input() {
    if (input_ended_) return;
    input_ended_ = true;
    release_terminal();
    if (!input_raw_) return;
    std::vector<KeyEventRecord> keys;
    if (key_decoder_pending(decoder_)) decode_key_deadline(decoder_, &keys);
    keys.push_back(key_event_for_char('\r'));
    if (decoder_.kitty) {
      keys.push_back(keys.back());
      keys.back().key_down = false;
    }
    queue_keys(keys);
    input_raw_ = false;
  }

  bool input_tty_ = false;
  bool output_tty_ = false;       // a terminal with a screen to draw on
  bool output_terminal_ = false;  // a terminal, with a screen or written to as a file
  bool output_mode_known_ = false;
  TextMode output_mode_ = TextMode::SINGLE_BYTE;
  std::string converted_;  // bytes in the terminal's encoding
  bool taken_over_ = false;
  bool terminal_lost_ = false;  // hung up
  bool input_ended_ = false;    // hung up, or output gone: no more input
  TextMode text_mode_ = TextMode::SINGLE_BYTE;

  // Terminal input.
  bool input_raw_ = false;
  termios raw_{};
  KeyDecoder decoder_;
  std::vector<KeyEventRecord> decoded_;  // keys of the piece just read
  Clock::time_point last_byte_{};
  bool terminal_quiet_ = false;  // found with nothing more to read, since the last wait
  std::deque<InputRecord> events_;
  bool cursor_reports_ = true;  // the terminal answers cursor requests
  bool keyboard_asked_ = false;  // the kitty protocol query was sent
  bool start_placed_ = false;   // the first answer was taken

  // Terminal screen.
  bool screen_on_ = false;
  TerminalScreen screen_;
  bool size_changed_ = false;  // since take_size_change last said
  uint32_t cursor_size_ = 25;

  // Standard output, once it failed (a terminal's too), and its block when
  // it is a file or pipe.
  RedirectedOutput out_;
};

}  // namespace

std::unique_ptr<ConsolePort> make_platform_port() { return std::make_unique<PosixConsolePort>(); }

}  // namespace zw
