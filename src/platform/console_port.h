// The console port: the one seam between the console layer and the platform.
//
// Its operations are shaped after the Win32 console calls the console layer
// is written against; coordinates are 0-based buffer coordinates. Every
// operation reports success or failure; callers decide what a failure means
// (the console layer never shows one).
//
// Implementations: posix_console_port.cpp (files, pipes and terminals),
// win32_console_port.cpp (the native console), virtual_console.cpp (tests).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/output_block.h"

namespace zw {

struct Coord {
  int16_t x = 0;
  int16_t y = 0;
};

struct SmallRect {
  int16_t left = 0;
  int16_t top = 0;
  int16_t right = 0;
  int16_t bottom = 0;
};

// The console's own colours, light gray on black: the attribute of a cell
// nobody coloured.
constexpr uint16_t PLAIN_ATTRIBUTE = 7;

struct CharCell {
  uint8_t ch = ' ';
  uint16_t attr = PLAIN_ATTRIBUTE;
};

struct ScreenBufferInfo {
  Coord size;         // sizeX columns, sizeY rows
  Coord cursor;       // 0-based buffer position
  uint16_t attributes = PLAIN_ATTRIBUTE;
  SmallRect window;   // inclusive, buffer coordinates
};

struct CursorInfo {
  uint32_t size = 25;  // percent of the cell
  bool visible = true;
};

// Kinds of input event; the values are the native console's.
enum class InputEventKind : uint16_t {
  KEY = 1,
  MOUSE = 2,
  BUFFER_SIZE = 4,
  MENU = 8,
  FOCUS = 16,
};

// Control-key state bits of a key event, combined with |; the values are the
// native console's.
struct KeyState {
  static constexpr uint32_t RIGHT_ALT = 0x0001;
  static constexpr uint32_t LEFT_ALT = 0x0002;
  static constexpr uint32_t RIGHT_CTRL = 0x0004;
  static constexpr uint32_t LEFT_CTRL = 0x0008;
  static constexpr uint32_t SHIFT = 0x0010;
  static constexpr uint32_t NUM_LOCK = 0x0020;
  static constexpr uint32_t SCROLL_LOCK = 0x0040;
  static constexpr uint32_t CAPS_LOCK = 0x0080;
  static constexpr uint32_t ENHANCED = 0x0100;  // a gray key
  static constexpr uint32_t ALT_HELD = RIGHT_ALT | LEFT_ALT;     // either Alt
  static constexpr uint32_t CTRL_HELD = RIGHT_CTRL | LEFT_CTRL;  // either Ctrl
};

struct KeyEventRecord {
  bool key_down = true;
  uint16_t repeat_count = 1;
  uint16_t virtual_key = 0;
  uint16_t scan_code = 0;
  uint8_t ch = 0;               // character in the 8-bit code page, 0 for none
  uint32_t control_state = 0;   // KeyState bits
};

struct InputRecord {
  InputEventKind type = InputEventKind::KEY;
  KeyEventRecord key;  // meaningful only for InputEventKind::KEY
};

// Console control events handed to a control handler; the values are the
// native console's.
enum class ConsoleEvent : int {
  CTRL_C = 0,
  CTRL_BREAK = 1,
  CLOSE = 2,
  LOGOFF = 5,
  SHUTDOWN = 6,
};

// Called on another thread or in a signal handler with the context it was
// registered with: may only hand over. True when it handled the event.
using CtrlHandler = bool (*)(void* context, ConsoleEvent event);

// What a console does with the rows on its screen when its width changes,
// as far as its port knows beforehand: wraps them anew at the new width;
// does so and joins the rows it wrapped itself again at a later change,
// whatever was written on them since; or cuts them (or keeps them whole,
// where the buffer is wider than the window). Where the cursor shows it,
// the console layer learns the rest.
enum class RowsOnResize : uint8_t { UNKNOWN, WRAPPED, WRAPPED_FOR_GOOD, CUT };

class ConsolePort {
 public:
  virtual ~ConsolePort() = default;

  // Modes.
  // True when standard input is a console (GetConsoleMode succeeds).
  virtual bool input_is_console() = 0;
  // Adds processed input (Ctrl+C as a control event) to the input mode.
  virtual bool enable_processed_input() = 0;
  // Registers `handler` with `context`; one handler at a time.
  virtual bool add_ctrl_handler(CtrlHandler handler, void* context) = 0;
  // Removes `handler` again when it is the one registered.
  virtual bool remove_ctrl_handler(CtrlHandler handler) = 0;
  // Binds the console for this program, once, at its first use, before
  // any screen or input operation: a terminal port takes the terminal over
  // here (its modes, its answers waited for). Queries after it only read.
  virtual void open_console() {}

  // Screen output.
  virtual bool get_screen_buffer_info(ScreenBufferInfo* info) = 0;
  // Writes count cells into one row from `at`; the cursor does not move.
  virtual bool write_cells(const CharCell* cells, int count, Coord at) = 0;
  // Moves the cells of `source` so that its top-left lands on `dest`;
  // uncovered cells of `source` get `fill`.
  virtual bool scroll_rect(SmallRect source, Coord dest, CharCell fill) = 0;
  virtual bool fill_chars(uint8_t ch, int count, Coord at) = 0;
  virtual bool fill_attrs(uint16_t attr, int count, Coord at) = 0;
  virtual bool set_cursor_position(Coord pos) = 0;
  virtual bool get_cursor_info(CursorInfo* info) = 0;
  virtual bool set_cursor_info(const CursorInfo& info) = 0;
  // Moves the window to the absolute rectangle `window`.
  virtual bool set_window(SmallRect window) = 0;
  // Standard output when it is not a console: bytes pass unchanged.
  virtual bool write_bytes(const char* bytes, size_t count, size_t* written) = 0;
  // The record in which write_bytes collects its bytes, for a caller that
  // makes its bytes there directly while the block has room; nullptr
  // when write_bytes keeps none or changes the bytes on their way. Asked
  // once, when the console is bound.
  virtual RedirectedOutput* redirected_output() = 0;
  virtual void beep(int frequency_hz, int duration_ms) = 0;
  // Ends one console update: a port that batches hands it to the device now.
  virtual void end_update() = 0;
  // Hands every buffered byte to its device (before waiting, at exit).
  virtual void flush() = 0;
  // True when the screen's size changed since the last call, as far as the
  // port learns of it by itself (a terminal's SIGWINCH); a port that does
  // not learns nothing.
  virtual bool take_size_change() { return false; }
  virtual RowsOnResize rows_on_resize() { return RowsOnResize::UNKNOWN; }

  // Console input.
  virtual bool peek_input(InputRecord* record, int* count) = 0;
  virtual bool read_input(InputRecord* record, int* count) = 0;
  // The unshifted character of a virtual key, 0 when it has none.
  virtual unsigned map_virtual_key_char(unsigned vk) = 0;
  // Blocks until console input may be pending, at most `timeout_ms`.
  virtual void wait_input(int timeout_ms) = 0;
  // Standard input when it is not a console: up to `count` bytes, 0 at end.
  virtual size_t read_stdin(char* buffer, size_t count) = 0;
};

}  // namespace zw
