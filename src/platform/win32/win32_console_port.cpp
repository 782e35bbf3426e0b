#include "platform/win32/win32_console_port.h"

#include <atomic>
#include <cstdio>

#include "platform/platform_port.h"
#include "platform/us_layout.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

// Input records and control events pass between the console and the port by
// value: the seam's numbers must be the console's.
static_assert(KEY_EVENT == static_cast<WORD>(zw::InputEventKind::KEY));
static_assert(MOUSE_EVENT == static_cast<WORD>(zw::InputEventKind::MOUSE));
static_assert(WINDOW_BUFFER_SIZE_EVENT == static_cast<WORD>(zw::InputEventKind::BUFFER_SIZE));
static_assert(MENU_EVENT == static_cast<WORD>(zw::InputEventKind::MENU));
static_assert(FOCUS_EVENT == static_cast<WORD>(zw::InputEventKind::FOCUS));
static_assert(RIGHT_ALT_PRESSED == zw::KeyState::RIGHT_ALT);
static_assert(LEFT_ALT_PRESSED == zw::KeyState::LEFT_ALT);
static_assert(RIGHT_CTRL_PRESSED == zw::KeyState::RIGHT_CTRL);
static_assert(LEFT_CTRL_PRESSED == zw::KeyState::LEFT_CTRL);
static_assert(SHIFT_PRESSED == zw::KeyState::SHIFT);
static_assert(NUMLOCK_ON == zw::KeyState::NUM_LOCK);
static_assert(SCROLLLOCK_ON == zw::KeyState::SCROLL_LOCK);
static_assert(CAPSLOCK_ON == zw::KeyState::CAPS_LOCK);
static_assert(ENHANCED_KEY == zw::KeyState::ENHANCED);
static_assert(CTRL_C_EVENT == static_cast<DWORD>(zw::ConsoleEvent::CTRL_C));
static_assert(CTRL_BREAK_EVENT == static_cast<DWORD>(zw::ConsoleEvent::CTRL_BREAK));
static_assert(CTRL_CLOSE_EVENT == static_cast<DWORD>(zw::ConsoleEvent::CLOSE));
static_assert(CTRL_LOGOFF_EVENT == static_cast<DWORD>(zw::ConsoleEvent::LOGOFF));
static_assert(CTRL_SHUTDOWN_EVENT == static_cast<DWORD>(zw::ConsoleEvent::SHUTDOWN));
// The virtual keys the terminal port and the keyboard name are the console's.
static_assert(VK_BACK == zw::VKEY_BACK);
static_assert(VK_TAB == zw::VKEY_TAB);
static_assert(VK_CLEAR == zw::VKEY_CLEAR);
static_assert(VK_RETURN == zw::VKEY_RETURN);
static_assert(VK_SHIFT == zw::VKEY_SHIFT);
static_assert(VK_CONTROL == zw::VKEY_CONTROL);
static_assert(VK_MENU == zw::VKEY_MENU);
static_assert(VK_PAUSE == zw::VKEY_PAUSE);
static_assert(VK_CAPITAL == zw::VKEY_CAPITAL);
static_assert(VK_ESCAPE == zw::VKEY_ESCAPE);
static_assert(VK_SPACE == zw::VKEY_SPACE);
static_assert(VK_PRIOR == zw::VKEY_PRIOR);
static_assert(VK_NEXT == zw::VKEY_NEXT);
static_assert(VK_END == zw::VKEY_END);
static_assert(VK_HOME == zw::VKEY_HOME);
static_assert(VK_LEFT == zw::VKEY_LEFT);
static_assert(VK_UP == zw::VKEY_UP);
static_assert(VK_RIGHT == zw::VKEY_RIGHT);
static_assert(VK_DOWN == zw::VKEY_DOWN);
static_assert(VK_SNAPSHOT == zw::VKEY_SNAPSHOT);
static_assert(VK_INSERT == zw::VKEY_INSERT);
static_assert(VK_DELETE == zw::VKEY_DELETE);
static_assert(VK_LWIN == zw::VKEY_LWIN);
static_assert(VK_RWIN == zw::VKEY_RWIN);
static_assert(VK_APPS == zw::VKEY_APPS);
static_assert(VK_NUMPAD0 == zw::VKEY_NUMPAD0);
static_assert(VK_NUMPAD9 == zw::VKEY_NUMPAD9);
static_assert(VK_MULTIPLY == zw::VKEY_MULTIPLY);
static_assert(VK_ADD == zw::VKEY_ADD);
static_assert(VK_SEPARATOR == zw::VKEY_SEPARATOR);
static_assert(VK_SUBTRACT == zw::VKEY_SUBTRACT);
static_assert(VK_DECIMAL == zw::VKEY_DECIMAL);
static_assert(VK_DIVIDE == zw::VKEY_DIVIDE);
static_assert(VK_F1 == zw::VKEY_F1);
static_assert(VK_F12 == zw::VKEY_F12);
static_assert(VK_F13 == zw::VKEY_F13);
static_assert(VK_NUMLOCK == zw::VKEY_NUMLOCK);
static_assert(VK_SCROLL == zw::VKEY_SCROLL);
static_assert(VK_OEM_1 == zw::VKEY_OEM_1);
static_assert(VK_OEM_PLUS == zw::VKEY_OEM_PLUS);
static_assert(VK_OEM_COMMA == zw::VKEY_OEM_COMMA);
static_assert(VK_OEM_MINUS == zw::VKEY_OEM_MINUS);
static_assert(VK_OEM_PERIOD == zw::VKEY_OEM_PERIOD);
static_assert(VK_OEM_2 == zw::VKEY_OEM_2);
static_assert(VK_OEM_3 == zw::VKEY_OEM_3);
static_assert(VK_OEM_4 == zw::VKEY_OEM_4);
static_assert(VK_OEM_5 == zw::VKEY_OEM_5);
static_assert(VK_OEM_6 == zw::VKEY_OEM_6);
static_assert(VK_OEM_7 == zw::VKEY_OEM_7);
static_assert(VK_OEM_102 == zw::VKEY_OEM_102);

namespace zw {

namespace {

// The console calls its control handler on a thread of its own and passes no
// context, so the handler to call and its context live here. Only the port
// touches them; the context is stored before the handler and cleared after.
std::atomic<CtrlHandler> g_ctrl_handler{nullptr};
std::atomic<void*> g_ctrl_context{nullptr};

BOOL WINAPI route_ctrl_event(DWORD event) {
  const CtrlHandler handler = g_ctrl_handler.load();
  if (handler == nullptr) return FALSE;
  return handler(g_ctrl_context.load(), static_cast<ConsoleEvent>(event)) ? TRUE : FALSE;
}

HANDLE as_handle(void* h) { return static_cast<HANDLE>(h); }

COORD to_win(Coord c) { return COORD{c.x, c.y}; }

SMALL_RECT to_win(SmallRect r) { return SMALL_RECT{r.left, r.top, r.right, r.bottom}; }

InputRecord from_win(const INPUT_RECORD& r) {
  InputRecord out;
  out.type = static_cast<InputEventKind>(r.EventType);
  if (r.EventType == KEY_EVENT) {
    const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
    out.key.key_down = k.bKeyDown != FALSE;
    out.key.repeat_count = k.wRepeatCount;
    out.key.virtual_key = k.wVirtualKeyCode;
    out.key.scan_code = k.wVirtualScanCode;
    out.key.ch = static_cast<uint8_t>(k.uChar.AsciiChar);
    out.key.control_state = k.dwControlKeyState;
    // Some consoles (Wine's on a terminal) report the Escape key without its
    // character, which would make it no key at all; the native console
    // always gives 27.
    if (k.wVirtualKeyCode == VK_ESCAPE && out.key.ch == 0) out.key.ch = 27;
  }
  return out;
}

}  // namespace

Win32ConsolePort::Win32ConsolePort() = default;

Win32ConsolePort::Win32ConsolePort(void* input, void* output)
    : bound_(true), input_(input), output_(output) {}

void* Win32ConsolePort::input() {
  if (!bound_) {
    input_ = GetStdHandle(STD_INPUT_HANDLE);
    output_ = GetStdHandle(STD_OUTPUT_HANDLE);
    bound_ = true;
  }
  return input_;
}

void* Win32ConsolePort::output() {
  input();
  return output_;
}

bool Win32ConsolePort::input_is_console() {
  DWORD mode = 0;
  HANDLE in = as_handle(input());
  return in != nullptr && GetConsoleMode(in, &mode) != FALSE;
}

bool Win32ConsolePort::enable_processed_input() {
  DWORD mode = 0;
  HANDLE in = as_handle(input());
  if (in == nullptr || !GetConsoleMode(in, &mode)) return false;
  return SetConsoleMode(in, mode | ENABLE_PROCESSED_INPUT) != FALSE;
}

bool Win32ConsolePort::add_ctrl_handler(CtrlHandler handler, void* context) {
  g_ctrl_context.store(context);
  g_ctrl_handler.store(handler);
  return SetConsoleCtrlHandler(route_ctrl_event, TRUE) != FALSE;
}

bool Win32ConsolePort::remove_ctrl_handler(CtrlHandler handler) {
  if (g_ctrl_handler.load() != handler) return true;
  bool ok = SetConsoleCtrlHandler(route_ctrl_event, FALSE) != FALSE;
  g_ctrl_handler.store(nullptr);
  g_ctrl_context.store(nullptr);
  return ok;
}

bool Win32ConsolePort::get_screen_buffer_info(ScreenBufferInfo* info) {
  CONSOLE_SCREEN_BUFFER_INFO csbi;
  if (!GetConsoleScreenBufferInfo(as_handle(output()), &csbi)) return false;
  info->size = {csbi.dwSize.X, csbi.dwSize.Y};
  info->cursor = {csbi.dwCursorPosition.X, csbi.dwCursorPosition.Y};
  info->attributes = csbi.wAttributes;
  info->window = {csbi.srWindow.Left, csbi.srWindow.Top, csbi.srWindow.Right,
                  csbi.srWindow.Bottom};
  return true;
}

bool Win32ConsolePort::write_cells(const CharCell* cells, int count, Coord at) {
  // Rows are at most a few hundred cells; longer runs go in pieces.
  constexpr int PIECE = 256;
  CHAR_INFO piece[PIECE];
  for (int done = 0; done < count;) {
    int n = count - done < PIECE ? count - done : PIECE;
    for (int i = 0; i < n; ++i) {
      piece[i].Char.AsciiChar = static_cast<CHAR>(cells[done + i].ch);
      piece[i].Attributes = cells[done + i].attr;
    }
    SHORT x = static_cast<SHORT>(at.x + done);
    SMALL_RECT region{x, at.y, static_cast<SHORT>(x + n - 1), at.y};
    if (!WriteConsoleOutputA(as_handle(output()), piece, COORD{static_cast<SHORT>(n), 1},
                             COORD{0, 0}, &region)) {
      return false;
    }
    done += n;
  }
  return true;
}

bool Win32ConsolePort::scroll_rect(SmallRect source, Coord dest, CharCell fill) {
  SMALL_RECT rect = to_win(source);
  CHAR_INFO blank;
  blank.Char.AsciiChar = static_cast<CHAR>(fill.ch);
  blank.Attributes = fill.attr;
  return ScrollConsoleScreenBufferA(as_handle(output()), &rect, nullptr, to_win(dest), &blank) !=
         FALSE;
}

bool Win32ConsolePort::fill_chars(uint8_t ch, int count, Coord at) {
  DWORD written = 0;
  return FillConsoleOutputCharacterA(as_handle(output()), static_cast<CHAR>(ch),
                                     static_cast<DWORD>(count), to_win(at), &written) != FALSE;
}

bool Win32ConsolePort::fill_attrs(uint16_t attr, int count, Coord at) {
  DWORD written = 0;
  return FillConsoleOutputAttribute(as_handle(output()), attr, static_cast<DWORD>(count),
                                    to_win(at), &written) != FALSE;
}

bool Win32ConsolePort::set_cursor_position(Coord pos) {
  return SetConsoleCursorPosition(as_handle(output()), to_win(pos)) != FALSE;
}

bool Win32ConsolePort::get_cursor_info(CursorInfo* info) {
  CONSOLE_CURSOR_INFO cci;
  if (!GetConsoleCursorInfo(as_handle(output()), &cci)) return false;
  info->size = cci.dwSize;
  info->visible = cci.bVisible != FALSE;
  return true;
}

bool Win32ConsolePort::set_cursor_info(const CursorInfo& info) {
  CONSOLE_CURSOR_INFO cci{info.size, info.visible ? TRUE : FALSE};
  return SetConsoleCursorInfo(as_handle(output()), &cci) != FALSE;
}

bool Win32ConsolePort::set_window(SmallRect window) {
  SMALL_RECT rect = to_win(window);
  return SetConsoleWindowInfo(as_handle(output()), TRUE, &rect) != FALSE;
}

// Hands all of `count` bytes to the output handle, at most a gigabyte per
// call, or fails.
bool Win32ConsolePort::write_output(const char* bytes, size_t count) {
  return write_all(bytes, count, [this](const char* b, size_t n) -> ptrdiff_t {
    const DWORD part = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
    DWORD done = 0;
    if (!WriteFile(as_handle(output()), b, part, &done, nullptr) || done == 0) return -1;
    return static_cast<ptrdiff_t>(done);
  });
}

bool Win32ConsolePort::write_bytes(const char* bytes, size_t count, size_t* written) {
  return output_write(out_, bytes, count, written,
                      [this](const char* b, size_t n) { return write_output(b, n); });
}

void Win32ConsolePort::beep(int frequency_hz, int duration_ms) {
  Beep(static_cast<DWORD>(frequency_hz), static_cast<DWORD>(duration_ms));
}

// Every console operation reaches the console at once; only redirected
// output is held back, in blocks.
void Win32ConsolePort::end_update() {}

void Win32ConsolePort::flush() {
  output_flush(out_, [this](const char* b, size_t n) { return write_output(b, n); });
}

// The line editor asks for keys several times for each key and then waits,
// and the wait ends at once when input is there: a console found without
// input is taken to be without it until the next wait, so that those asks
// cost nothing. Keys that come meanwhile are read after that wait, in order.
bool Win32ConsolePort::peek_input(InputRecord* record, int* count) {
  INPUT_RECORD r;
  DWORD n = 0;
  *count = 0;
  if (input_quiet_) return true;
  if (!PeekConsoleInputA(as_handle(input()), &r, 1, &n)) return false;
  input_quiet_ = n == 0;
  if (n > 0) *record = from_win(r);
  *count = static_cast<int>(n);
  return true;
}

bool Win32ConsolePort::read_input(InputRecord* record, int* count) {
  INPUT_RECORD r;
  DWORD n = 0;
  *count = 0;
  if (!ReadConsoleInputA(as_handle(input()), &r, 1, &n)) return false;
  if (n > 0) *record = from_win(r);
  *count = static_cast<int>(n);
  return true;
}

unsigned Win32ConsolePort::map_virtual_key_char(unsigned vk) {
  return MapVirtualKeyA(vk, MAPVK_VK_TO_CHAR);
}

void Win32ConsolePort::wait_input(int timeout_ms) {
  flush();
  DWORD ms = timeout_ms > 0 ? static_cast<DWORD>(timeout_ms) : 0;
  if (input_is_console()) {
    const DWORD r = WaitForSingleObject(as_handle(input()), ms);
    if (r != WAIT_TIMEOUT) input_quiet_ = false;
    if (r != WAIT_FAILED) return;
  }
  Sleep(ms);
}

// The redirected stream is read in binary mode: bytes arrive as they are,
// CR LF and Ctrl+Z included.
size_t Win32ConsolePort::read_stdin(char* buffer, size_t count) {
  flush();  // what was printed so far is seen before the program blocks
  if (!stdin_binary_) {
    _setmode(_fileno(stdin), _O_BINARY);
    stdin_binary_ = true;
  }
  return std::fread(buffer, 1, count, stdin);
}

std::unique_ptr<ConsolePort> make_platform_port() { return std::make_unique<Win32ConsolePort>(); }

}  // namespace zw
