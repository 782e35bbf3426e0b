// The console port on POSIX: standard input and output (or the descriptors
// a test gives it) as terminals, files or pipes.
//
// Files and pipes. Standard output that is not a terminal receives exactly
// the printed bytes, collected in blocks and written when a block is full,
// before the program waits for input, and at exit. Standard input is read in
// blocks.
//
// Terminals. The terminal screen is the console buffer and its window at
// once (terminal_screen.h); the terminal's input becomes key events
// (terminal_input.h). Standard input on a terminal is switched to raw input
// with the signal keys kept, so that Ctrl+C and Ctrl+\ end the program as
// they end any other; what the port holds while it owns the terminal, and
// how it gives it back, is the session's (terminal_session.h). Every
// sequence the port sends to a terminal is listed in terminal_sequences.h.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/output_block.h"
#include "platform/platform_port.h"
#include "platform/posix/posix_console_port.h"
#include "platform/posix/standard_streams.h"
#include "platform/posix/terminal_guard.h"
#include "platform/posix/terminal_session.h"
#include "platform/terminal_text.h"
#include "platform/us_layout.h"

namespace zw {

namespace {

class PosixConsolePort final : public ConsolePort {
 public:
  PosixConsolePort(int input_fd, int output_fd, const char* term) {
    // A reader that went away (`| head -1`) shows up as a failed write,
    // not as a signal that kills the program mid-way.
    ::signal(SIGPIPE, SIG_IGN);
    start_session(s_, input_fd, output_fd, term);
    output_converted_ = ::isatty(output_fd) == 1;
  }

  ~PosixConsolePort() override {
    flush();
    remove_terminal_guard();
  }

  bool input_is_console() override { return s_.input_terminal && !s_.input_ended; }

  // Processed input on a terminal: raw input with the signal keys kept
  // (entered when the console was opened already).
  bool enable_processed_input() override { return enter_session_raw_input(s_); }

  bool add_ctrl_handler(CtrlHandler handler, void* context) override {
    set_guarded_ctrl_handler(handler, context);
    return true;
  }

  bool remove_ctrl_handler(CtrlHandler handler) override {
    if (guarded_ctrl_handler() == handler) set_guarded_ctrl_handler(nullptr, nullptr);
    return true;
  }

  // Takes the terminal over (terminal_session.h); the queries after it only
  // read, and the screen operations draw on the screen opened here.
  void open_console() override { open_session(s_); }

  // ---- Screen output -----------------------------------------------------

  bool get_screen_buffer_info(ScreenBufferInfo* info) override {
    if (!screen_open(s_)) return false;
    const TerminalScreen& screen = s_.screen;
    info->size = {static_cast<int16_t>(screen.columns), static_cast<int16_t>(screen.rows)};
    info->cursor = screen.cursor;
    info->attributes = PLAIN_ATTRIBUTE;  // a terminal's cells keep its own colours
    info->window = {0, 0, static_cast<int16_t>(screen.columns - 1), static_cast<int16_t>(screen.rows - 1)};
    return true;
  }

  bool write_cells(const CharCell* cells, int count, Coord at) override {
    return screen_open(s_) && screen_write_cells(s_.screen, cells, count, at);
  }

  bool scroll_rect(SmallRect source, Coord dest, CharCell fill) override {
    if (!screen_open(s_)) return false;
    const bool ok = screen_scroll(s_.screen, source, dest, fill);
    if (s_.screen.margins_used) guard_margins_used();
    return ok;
  }

  bool fill_chars(uint8_t ch, int count, Coord at) override {
    return screen_open(s_) && screen_fill(s_.screen, ch, count, at);
  }

  // Attributes do not show: every cell keeps the terminal's colours.
  bool fill_attrs(uint16_t, int, Coord at) override {
    return screen_open(s_) && on_screen(s_.screen, at);
  }

  bool set_cursor_position(Coord pos) override { return screen_open(s_) && screen_set_cursor(s_.screen, pos); }

  bool get_cursor_info(CursorInfo* info) override {
    if (!screen_open(s_)) return false;
    info->size = cursor_size_;
    info->visible = s_.screen.cursor_visible;
    return true;
  }

  bool set_cursor_info(const CursorInfo& info) override {
    if (!screen_open(s_)) return false;
    cursor_size_ = info.size;
    screen_set_visible(s_.screen, info.visible);
    return true;
  }

  // Window and buffer are the same rectangle: there is nothing to move.
  bool set_window(SmallRect) override { return screen_open(s_); }

  // A terminal written to as a file (TERM=dumb, a screen too small) gets
  // the bytes in its own encoding, as far as it is known.
  bool write_bytes(const char* bytes, size_t count, size_t* written) override {
    bool ok;
    if (output_converted_) {
      converted_.clear();
      append_terminal_text(bytes, count, s_.taken_over ? s_.text_mode : locale_text_mode(), &converted_);
      size_t n = 0;
      ok = output_write(s_.out, converted_.data(), converted_.size(), &n, DescriptorSink{s_.output_fd});
      *written = ok ? count : 0;
    } else {
      ok = output_write(s_.out, bytes, count, written, DescriptorSink{s_.output_fd});
    }
    if (!ok) end_input(s_);
    return ok;
  }

  // A terminal written to as a file gets its bytes converted, so only files
  // and pipes take the block directly.
  RedirectedOutput* redirected_output() override { return output_converted_ ? nullptr : &s_.out; }

  void beep(int, int) override {
    if (screen_open(s_)) screen_bell(s_.screen);
  }

  // An update waits for the next flush, which comes before the program
  // waits for a key or for input and at its end: all that one key does
  // (cursor hidden, text, cursor placed and shown) reaches the terminal in
  // one write. Output that runs on without a wait goes out in blocks.
  void end_update() override {
    if (!s_.screen_on) return;
    finish_screen_update(s_.screen);
    if (s_.screen.out.size() >= OUTPUT_BLOCK) send_screen_update(s_);
  }

  void flush() override { flush_session(s_); }

  // The signals' notes are taken here, before each console write: after a
  // resume or a size change the size is read again and the terminal asked
  // where its cursor is (its answer awaited), so the write works on them.
  bool take_size_change() override {
    service_signals(s_);
    const bool changed = s_.size_changed;
    s_.size_changed = false;
    return changed;
  }

  RowsOnResize rows_on_resize() override { return s_.rows_on_resize; }

  // ---- Console input -----------------------------------------------------

  bool peek_input(InputRecord* record, int* count) override { return peek_event(s_, record, count); }

  bool read_input(InputRecord* record, int* count) override { return take_event(s_, record, count); }

  unsigned map_virtual_key_char(unsigned vk) override { return us_layout_vk_char(vk); }

  void wait_input(int timeout_ms) override {
    flush();
    if (s_.input_ended) {
      // Nothing will come: the wait is only a pause, never a busy loop.
      if (s_.input.events.empty()) ::poll(nullptr, 0, std::max(timeout_ms, 0));
      return;
    }
    if (!s_.input_raw) {
      pollfd p{s_.input_fd, POLLIN, 0};
      ::poll(&p, 1, timeout_ms);
      return;
    }
    wait_terminal(s_, timeout_ms);
  }

  size_t read_stdin(char* buffer, size_t count) override {
    flush();  // what was printed so far is seen before the program blocks
    // Once standard output is gone (its reader left, `| head -1`), nothing
    // the program does can be seen any more: the input counts as ended, so
    // the program stops at the end of the cycle instead of reading on, for
    // ever when the input never ends.
    if (s_.out.failed || s_.input_ended) return 0;
    return read_some(s_.input_fd, buffer, count);
  }

 private:
  TerminalSession s_;
  // Standard output is a terminal, with a screen or written to as a file:
  // what write_bytes writes goes out in the terminal's encoding.
  bool output_converted_ = false;
  std::string converted_;  // bytes in the terminal's encoding
  uint32_t cursor_size_ = CursorInfo{}.size;
};

}  // namespace

std::unique_ptr<ConsolePort> make_posix_port(int input_fd, int output_fd, const char* term) {
  return std::make_unique<PosixConsolePort>(input_fd, output_fd, term);
}

std::unique_ptr<ConsolePort> make_platform_port() {
  keep_standard_descriptors();
  return make_posix_port(STDIN_FILENO, STDOUT_FILENO, std::getenv("TERM"));
}

}  // namespace zw
