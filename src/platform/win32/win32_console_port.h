// The console port on the native Win32 console: every operation is one
// console call on the standard handles (KERNEL32), the virtual-key mapping
// is USER32's, the redirected input stream is the C runtime's (msvcrt).
#pragma once

#include "platform/console_port.h"
#include "platform/output_block.h"

namespace zw {

class Win32ConsolePort : public ConsolePort {
 public:
  // Takes the standard input and output handles on first use.
  Win32ConsolePort();
  // Works on the given handles (Win32 HANDLE values) instead, e.g. a screen
  // buffer of its own in a test; the caller keeps and closes them.
  Win32ConsolePort(void* input, void* output);

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
  RedirectedOutput* redirected_output() override { return &out_; }
  void beep(int frequency_hz, int duration_ms) override;
  void end_update() override;
  void flush() override;

  // A console found without input is not asked again before the next wait.
  bool peek_input(InputRecord* record, int* count) override;
  bool read_input(InputRecord* record, int* count) override;
  unsigned map_virtual_key_char(unsigned vk) override;
  // Waits on the console input handle, so a key ends the wait early.
  void wait_input(int timeout_ms) override;
  size_t read_stdin(char* buffer, size_t count) override;

 private:
  void* input();
  void* output();
  bool write_output(const char* bytes, size_t count);

  bool bound_ = false;
  void* input_ = nullptr;
  void* output_ = nullptr;
  bool stdin_binary_ = false;
  bool input_quiet_ = false;  // found without input, since the last wait
  RedirectedOutput out_;
};

}  // namespace zw
