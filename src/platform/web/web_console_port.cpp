// The console port in a browser tab, and under node.
//
// In the page the port has a console of its own: the screen buffer, its
// window and the cursor are a CellConsole here, which the page draws (from
// this module's memory) whenever the port flushes, that is before every
// wait; key events come from the page's keydown and keyup handlers as the
// console's key records. Waiting unwinds the module's stack back to the
// browser (asyncify) and the page resumes it after the time or at the next
// key, so the page stays live while the program waits.
//
// Under node there is no console: standard input and output are the
// process's, and the program takes its redirected roads.
//
// What the page provides, module "zw":
//   has_console()        1 in a page, 0 under node
//   sleep(ms, until_key) waits ms, or (until_key 1) until a key comes
//   render(screen)       draws the screen described by a WebScreen
//   beep(hz, ms)         sounds a tone
//   write_stdout(p, n)   writes n bytes, 1 when all were written
//   read_stdin(p, n)     reads up to n bytes, 0 at the end
// What it calls here: the exports at the end of this file.
#include <cstddef>
#include <cstdlib>
#include <deque>
#include <memory>

#include "platform/cell_console.h"
#include "platform/output_block.h"
#include "platform/platform_port.h"
#include "platform/terminal_text.h"
#include "platform/us_layout.h"
#include "platform/web/browser_keys.h"

#define ZW_IMPORT(name) __attribute__((import_module("zw"), import_name(#name)))
#define ZW_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace zw {

// The screen as the page reads it: every field four bytes.
struct WebScreen {
  const CharCell* cells;   // buffer_rows x width cells, row by row
  const uint8_t* changed;  // one flag per buffer row: drawn again
  int32_t width;
  int32_t buffer_rows;
  int32_t window_top;
  int32_t window_rows;
  int32_t cursor_x;
  int32_t cursor_y;
  int32_t cursor_size;  // percent of the cell
  int32_t cursor_visible;
};
static_assert(sizeof(WebScreen) == 40 && sizeof(void*) == 4);
static_assert(sizeof(CharCell) == 4 && offsetof(CharCell, ch) == 0 && offsetof(CharCell, attr) == 2);

extern "C" {
ZW_IMPORT(has_console) int host_has_console();
ZW_IMPORT(sleep) void host_sleep(int ms, int until_key);
ZW_IMPORT(render) void host_render(const WebScreen* screen);
ZW_IMPORT(beep) void host_beep(int frequency_hz, int duration_ms);
ZW_IMPORT(write_stdout) int host_write_stdout(const char* bytes, size_t count);
ZW_IMPORT(read_stdin) size_t host_read_stdin(char* buffer, size_t count);
}

namespace {

constexpr int CONSOLE_COLUMNS = 80;
constexpr int WINDOW_ROWS = 25;
constexpr int BUFFER_ROWS = 300;
// How the console ends a process on Ctrl+C, Ctrl+Break or a close it is
// not told to take: STATUS_CONTROL_C_EXIT.
constexpr int CONTROL_EXIT_STATUS = static_cast<int>(0xC000013Au);

bool write_stdout(const char* bytes, size_t count) { return host_write_stdout(bytes, count) != 0; }

class WebConsolePort;
// The page calls its exports with no context: the process's one port.
WebConsolePort* g_port = nullptr;

class WebConsolePort final : public ConsolePort {
 public:
  WebConsolePort() : console_(host_has_console() != 0), screen_(CONSOLE_COLUMNS, WINDOW_ROWS, BUFFER_ROWS) {
    g_port = this;
  }
  ~WebConsolePort() override {
    flush();
    g_port = nullptr;
  }

  bool input_is_console() override { return console_; }
  bool enable_processed_input() override {
    processed_input_ = console_;
    return console_;
  }
  bool add_ctrl_handler(CtrlHandler handler, void* context) override {
    handler_ = handler;
    handler_context_ = context;
    return true;
  }
  bool remove_ctrl_handler(CtrlHandler handler) override {
    if (handler_ == handler) handler_ = nullptr;
    return true;
  }

  bool get_screen_buffer_info(ScreenBufferInfo* info) override {
    if (console_) screen_.get_screen_buffer_info(info);
    return console_;
  }
  bool write_cells(const CharCell* cells, int count, Coord at) override {
    return console_ && screen_.write_cells(cells, count, at);
  }
  bool scroll_rect(SmallRect source, Coord dest, CharCell fill) override {
    return console_ && screen_.scroll_rect(source, dest, fill);
  }
  bool fill_chars(uint8_t ch, int count, Coord at) override { return console_ && screen_.fill_chars(ch, count, at); }
  bool fill_attrs(uint16_t attr, int count, Coord at) override {
    return console_ && screen_.fill_attrs(attr, count, at);
  }
  bool set_cursor_position(Coord pos) override { return console_ && screen_.set_cursor_position(pos); }
  bool get_cursor_info(CursorInfo* info) override {
    if (console_) *info = screen_.cursor_info();
    return console_;
  }
  bool set_cursor_info(const CursorInfo& info) override {
    if (console_) screen_.set_cursor_info(info);
    return console_;
  }
  bool set_window(SmallRect window) override { return console_ && screen_.set_window(window); }
  bool write_bytes(const char* bytes, size_t count, size_t* written) override {
    return output_write(out_, bytes, count, written, write_stdout);
  }
  RedirectedOutput* redirected_output() override { return &out_; }
  // The tone holds the program up for its length, as the console's does;
  // keys typed meanwhile wait for it.
  void beep(int frequency_hz, int duration_ms) override {
    flush();
    host_beep(frequency_hz, duration_ms);
    host_sleep(duration_ms, 0);
  }
  // The page is drawn at flush, once for all that one key did.
  void end_update() override {}
  void flush() override {
    output_flush(out_, write_stdout);
    if (console_) draw();
  }

  bool peek_input(InputRecord* record, int* count) override { return next_event(record, count, false); }
  bool read_input(InputRecord* record, int* count) override { return next_event(record, count, true); }
  unsigned map_virtual_key_char(unsigned vk) override { return us_layout_vk_char(vk); }
  void wait_input(int timeout_ms) override {
    flush();
    if (events_.empty()) host_sleep(timeout_ms, 1);
  }
  size_t read_stdin(char* buffer, size_t count) override {
    flush();  // what was printed so far is seen before the program blocks
    return out_.failed ? 0 : host_read_stdin(buffer, count);
  }

  // ---- What the page hands over ------------------------------------------

  // With processed input on, Ctrl+C and Ctrl+Break are control events and
  // never keys, as on the console.
  void take_key(const BrowserKey& key) {
    KeyEventRecord record;
    if (!browser_key_record(key, held_, &record)) return;
    if (processed_input_ && record.key_down && (record.ch == 3 || record.virtual_key == VKEY_CANCEL)) {
      raise(record.ch == 3 ? ConsoleEvent::CTRL_C : ConsoleEvent::CTRL_BREAK);
      return;
    }
    push(record);
  }

  // A pasted character arrives as its key pressed and let go.
  void take_pasted(uint32_t code_point) {
    const int ch = unicode_to_cp1252(code_point == '\n' ? '\r' : code_point);
    if (ch <= 0 || (ch < ' ' && ch != '\r' && ch != '\t')) return;
    KeyEventRecord record = key_event_for_char(static_cast<uint8_t>(ch));
    push(record);
    record.key_down = false;
    push(record);
  }

  // The handler, when there is one, is told first. Ctrl+C or Ctrl+Break
  // that it does not take ends the process, as the console's own handling
  // does; a closed console ends it once the handler is done, whatever it
  // answered.
  void raise(ConsoleEvent event) {
    const bool handled = handler_ != nullptr && handler_(handler_context_, event);
    if (handled && (event == ConsoleEvent::CTRL_C || event == ConsoleEvent::CTRL_BREAK)) return;
    std::_Exit(CONTROL_EXIT_STATUS);
  }

  // The user moved the window with the scroll bar; the program sees it at
  // its next write.
  void scroll_window(int top) {
    const SmallRect w = screen_.window();
    const int rows = w.bottom - w.top + 1;
    if (top < 0 || top + rows > screen_.buffer_rows()) return;
    screen_.set_window({w.left, static_cast<int16_t>(top), w.right, static_cast<int16_t>(top + rows - 1)});
    draw();
  }

 private:
  void push(const KeyEventRecord& key) {
    InputRecord r;
    r.type = InputEventKind::KEY;
    r.key = key;
    events_.push_back(r);
  }

  bool next_event(InputRecord* record, int* count, bool take) {
    *count = 0;
    if (!console_) return false;
    if (events_.empty()) return true;
    *record = events_.front();
    *count = 1;
    if (take) events_.pop_front();
    return true;
  }

  void draw() {
    const SmallRect w = screen_.window();
    const CursorInfo c = screen_.cursor_info();
    const WebScreen s{screen_.cells(),      screen_.changed_rows(),   screen_.width(),
                      screen_.buffer_rows(), w.top,                   w.bottom - w.top + 1,
                      screen_.cursor().x,    screen_.cursor().y,      static_cast<int32_t>(c.size),
                      c.visible ? 1 : 0};
    host_render(&s);
    screen_.clear_changes();
  }

  const bool console_;
  CellConsole screen_;
  RedirectedOutput out_;
  std::deque<InputRecord> events_;
  HeldSides held_;
  bool processed_input_ = false;
  CtrlHandler handler_ = nullptr;
  void* handler_context_ = nullptr;
};

// The stack of a wait in progress, kept while the page runs (asyncify's
// data: where the next frame goes and where the room ends, then the room).
constexpr size_t WAIT_STACK_ROOM = 64 * 1024;
alignas(8) uint8_t g_wait_stack[WAIT_STACK_ROOM];
// Where the page puts the `code` of a key event.
constexpr size_t KEY_CODE_ROOM = 64;
char g_key_code[KEY_CODE_ROOM];

}  // namespace

std::unique_ptr<ConsolePort> make_platform_port() { return std::make_unique<WebConsolePort>(); }

}  // namespace zw

using zw::g_port;

ZW_EXPORT(zw_wait_stack) uint8_t* zw_wait_stack() { return zw::g_wait_stack; }
ZW_EXPORT(zw_wait_stack_size) size_t zw_wait_stack_size() { return sizeof zw::g_wait_stack; }

ZW_EXPORT(zw_key_code) char* zw_key_code() { return zw::g_key_code; }
ZW_EXPORT(zw_key_code_room) size_t zw_key_code_room() { return sizeof zw::g_key_code; }

// One keydown (down 1) or keyup, its code (code_length bytes) in
// zw_key_code, key_char the character of KeyboardEvent.key or 0.
ZW_EXPORT(zw_key_event)
void zw_key_event(int down, size_t code_length, uint32_t key_char, int shift, int ctrl, int alt, int alt_graph,
                  int caps_lock, int num_lock, int scroll_lock) {
  if (g_port == nullptr || code_length > sizeof zw::g_key_code) return;
  zw::BrowserKey k;
  k.down = down != 0;
  k.code = std::string_view(zw::g_key_code, code_length);
  k.key_char = key_char;
  k.shift = shift != 0;
  k.ctrl = ctrl != 0;
  k.alt = alt != 0;
  k.alt_graph = alt_graph != 0;
  k.caps_lock = caps_lock != 0;
  k.num_lock = num_lock != 0;
  k.scroll_lock = scroll_lock != 0;
  g_port->take_key(k);
}

ZW_EXPORT(zw_paste) void zw_paste(uint32_t code_point) {
  if (g_port != nullptr) g_port->take_pasted(code_point);
}

// The page is being left: as closing the console window.
ZW_EXPORT(zw_console_closed) void zw_console_closed() {
  if (g_port != nullptr) g_port->raise(zw::ConsoleEvent::CLOSE);
}

ZW_EXPORT(zw_scroll_window) void zw_scroll_window(int top) {
  if (g_port != nullptr) g_port->scroll_window(top);
}

// The character a cell shows for `byte`: the code page's, a picture for a
// control byte.
ZW_EXPORT(zw_glyph) uint32_t zw_glyph(int byte) {
  char utf8[4];
  const size_t n = zw::cell_glyph(static_cast<uint8_t>(byte), zw::TextMode::UTF8, utf8);
  const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(utf8[i])); };
  if (n == 1) return b(0);
  if (n == 2) return (b(0) & 0x1F) << 6 | (b(1) & 0x3F);
  if (n == 3) return (b(0) & 0x0F) << 12 | (b(1) & 0x3F) << 6 | (b(2) & 0x3F);
  return (b(0) & 0x07) << 18 | (b(1) & 0x3F) << 12 | (b(2) & 0x3F) << 6 | (b(3) & 0x3F);
}
