// An in-memory console for tests: a cell buffer that can be taller than its
// window, a cursor, a current attribute (the cell console the browser's
// port draws from, so both act alike), an input-event queue, a record of
// beeps and calls, and switches that make operations fail.
//
//   VirtualConsole con(80, 25, /*buffer_rows=*/300);
//   con.type("+\r2\r3\r");
//   ... run ...
//   EXPECT_EQ(con.row(5), "Summe:  5");
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/cell_console.h"
#include "platform/console_port.h"
#include "platform/output_block.h"
#include "platform/us_layout.h"

namespace zw {

class VirtualConsole : public ConsolePort {
 public:
  // Thrown by wait_input when a test waits for keys it never scripted.
  struct Starved : std::runtime_error {
    Starved() : std::runtime_error("virtual console: no more input") {}
  };

  struct Faults {
    bool screen_info = false;
    bool write_cells = false;
    bool scroll = false;
    bool fill = false;
    bool set_cursor = false;
    bool cursor_info = false;
    bool set_window = false;
    bool write_bytes = false;
    bool peek = false;
    bool read = false;
  };

  // A console `width` columns wide with a window of `window_rows` rows at
  // the top of a buffer of `buffer_rows` rows.
  VirtualConsole(int width, int window_rows, int buffer_rows);
  // Redirection: standard output and/or input not a console.
  void redirect_output(bool redirected) { output_redirected_ = redirected; }
  void redirect_input(std::string bytes);
  // Redirected output collected in a block, as the ports keep it, and the
  // block handed to the console layer (redirected_output), which then
  // appends to it directly. Asked for before the console records are bound.
  void keep_output_block(bool keep) { keep_block_ = keep; }

  // ConsolePort.
  bool input_is_console() override;

  bool enable_processed_input() override;
  bool add_ctrl_handler(CtrlHandler handler, void* context) override;
  bool remove_ctrl_handler(CtrlHandler handler) override;
  bool get_screen_buffer_info(ScreenBufferInfo* info) override;
  bool write_cells(const CharCell* cells, int count, Coord at) override;
  bool scroll_rect(SmallRect source, Coord dest, CharCell fill) override;
  bool fill_chars(uint8_t ch, int count, Coord at) override;
  bool fill_attrs(uint16_t attr, int count, Coord at) override;
  bool set_cursor_position(Coord pos) override;
  bool get_cursor_info(CursorInfo* info) override;
  bool set_cursor_info(const CursorInfo& info) override;
  bool set_window(SmallRect window) override;
  bool write_bytes(const char* bytes, size_t count, size_t* written) override;
  // Without a kept block every redirected write goes through write_bytes,
  // to the call log.
  RedirectedOutput* redirected_output() override { return keep_block_ ? &block_ : nullptr; }
  void beep(int frequency_hz, int duration_ms) override;
  void end_update() override;
  void flush() override;
  // Once after each resize.
  bool take_size_change() override;
  bool peek_input(InputRecord* record, int* count) override;
  bool read_input(InputRecord* record, int* count) override;
  unsigned map_virtual_key_char(unsigned vk) override;
  void wait_input(int timeout_ms) override;
  size_t read_stdin(char* buffer, size_t count) override;

  // Scripting input.
  void push_event(const InputRecord& record);
  void push_key(const KeyEventRecord& key);  // key down, then key up
  // Types every byte as its key: "\r" is Enter, "\x1b" Escape, "\b" Backspace.
  void type(const std::string& bytes);
  // A gray (enhanced) key such as VKEY_LEFT with scan 0x4B.
  void press_enhanced(uint16_t vk, uint16_t scan, uint32_t modifiers = 0);
  void press_function(int n, uint32_t modifiers = 0);  // F1..F12
  // Sends a console control event to the registered handler.
  bool send_ctrl_event(ConsoleEvent event);
  // Called at every wait: a test can let keys arrive over time.
  std::function<void(VirtualConsole&)> on_wait;
  int idle_wait_limit = 200;

  // Reading back.
  // Row `y` of the window (0-based), trailing blanks removed.
  std::string row(int y) const;
  // Row `y` of the buffer, every cell.
  std::string buffer_row(int y) const;
  CharCell cell(int x, int y) const { return screen_.cell(x, y); }
  Coord cursor() const { return screen_.cursor(); }
  bool cursor_visible() const { return screen_.cursor_info().visible; }
  SmallRect window() const { return screen_.window(); }
  int width() const { return screen_.width(); }
  int buffer_rows() const { return screen_.buffer_rows(); }
  void set_attribute(uint16_t attr) { screen_.set_attribute(attr); }
  // Moves and resizes the window by hand, as a user would.
  void place_window(SmallRect window) { screen_.place_window(window); }
  void move_cursor(Coord pos) { screen_.place_cursor(pos); }
  // Makes the buffer `rows` rows tall, as a terminal does when it is made
  // shorter or taller; the window becomes the whole buffer.
  void resize_buffer(int rows);
  // Resizes the screen to `width` x `rows` as a terminal that keeps its
  // rows does (each cut or padded at its end, the cursor kept on the
  // screen), the window the whole buffer, and reports the change once.
  void resize(int width, int rows);
  size_t pending_events() const { return events_.size(); }

  // Everything written while redirected, the kept block's bytes included.
  std::string output() const;

  Faults fail;
  size_t write_bytes_limit = 0;  // most bytes one write_bytes takes, 0 = all
  std::vector<int> beeps;        // frequencies, in order
  std::vector<std::string> calls;  // one name per platform call
  bool processed_input = false;
  CtrlHandler ctrl_handler = nullptr;
  void* ctrl_context = nullptr;
  int waits = 0;
  int updates = 0;

 private:
  bool hand_on(const char* bytes, size_t count);
  // A call logged and let through: false when output is redirected or
  // `fault` is set.
  bool screen_call(const char* name, bool fault);

  CellConsole screen_;
  std::deque<InputRecord> events_;
  bool output_redirected_ = false;
  bool keep_block_ = false;
  RedirectedOutput block_;
  std::string written_;  // redirected bytes handed on
  bool size_changed_ = false;
  bool input_redirected_ = false;
  std::string stdin_;
  size_t stdin_pos_ = 0;
  int idle_waits_ = 0;
};

}  // namespace zw
