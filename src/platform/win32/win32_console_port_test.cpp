#include "platform/win32/win32_console_port.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

// The tests that need a console open the process's console (CONIN$) and a
// screen buffer of their own; they are skipped when the process has none,
// as under Wine with no terminal. tests/wine/run.sh runs them once more
// inside a terminal.

namespace zw {
namespace {

TEST(Win32MapVirtualKey, GivesTheUnshiftedCharacterOrZero) {
  // Keys whose character is the same on every Latin keyboard layout.
  struct Case {
    unsigned vk;
    unsigned want;
  };
  const Case cases[] = {
      {'A', 'A'},        {'Z', 'Z'},       {VK_BACK, 8},  {VK_TAB, 9},
      {VK_RETURN, 13},   {VK_ESCAPE, 27},  {VK_SPACE, ' '}, {VK_F1, 0},
      {VK_F12, 0},       {VK_SHIFT, 0},    {VK_LEFT, 0},  {VK_HOME, 0},
  };
  Win32ConsolePort port;
  for (const Case& c : cases) {
    EXPECT_EQ(port.map_virtual_key_char(c.vk) & 0xFFFF, c.want) << "vk " << c.vk;
  }
}

// A pipe at either end: standard input and output that are not a console.
class Win32RedirectedTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CreatePipe(&read_, &write_, nullptr, 1 << 16)); }
  void TearDown() override {
    if (read_ != nullptr) CloseHandle(read_);
    if (write_ != nullptr) CloseHandle(write_);
  }
  std::string drain() {
    CloseHandle(write_);
    write_ = nullptr;
    std::string got;
    char buf[256];
    DWORD n = 0;
    while (ReadFile(read_, buf, sizeof buf, &n, nullptr) && n > 0) got.append(buf, n);
    return got;
  }
  HANDLE read_ = nullptr;
  HANDLE write_ = nullptr;
};

TEST_F(Win32RedirectedTest, PipeIsNoConsole) {
  Win32ConsolePort port(read_, write_);
  EXPECT_FALSE(port.input_is_console());
  EXPECT_FALSE(port.enable_processed_input());
  InputRecord rec;
  int count = 7;
  EXPECT_FALSE(port.peek_input(&rec, &count));
  EXPECT_EQ(count, 0);
  ScreenBufferInfo info;
  EXPECT_FALSE(port.get_screen_buffer_info(&info));
  // Waiting on a pipe still ends after the time given.
  DWORD t0 = GetTickCount();
  port.wait_input(25);
  EXPECT_LT(GetTickCount() - t0, 1000u);
}

TEST_F(Win32RedirectedTest, WriteBytesPassesEveryByteUnchanged) {
  Win32ConsolePort port(nullptr, write_);
  const std::string bytes("a\r\nb\n\x1a\x07\0\xff", 9);
  size_t written = 0;
  ASSERT_TRUE(port.write_bytes(bytes.data(), bytes.size(), &written));
  EXPECT_EQ(written, bytes.size());
  port.flush();  // redirected output is held in blocks until a flush
  EXPECT_EQ(drain(), bytes);
}

TEST(Win32ReadStdin, ReadsRedirectedInputInBinary) {
  // Standard input becomes a pipe opened in text mode, which would turn
  // CR LF into LF and stop at Ctrl+Z.
  int fds[2];
  ASSERT_EQ(_pipe(fds, 4096, _O_TEXT), 0);
  _setmode(fds[1], _O_BINARY);
  const std::string bytes("+,2\r\n3\r\x1a" "4\n", 9);
  ASSERT_EQ(_write(fds[1], bytes.data(), static_cast<unsigned>(bytes.size())),
            static_cast<int>(bytes.size()));
  _close(fds[1]);
  int saved = _dup(0);
  ASSERT_EQ(_dup2(fds[0], 0), 0);
  _close(fds[0]);
  clearerr(stdin);

  Win32ConsolePort port;
  std::string got;
  char c;
  while (port.read_stdin(&c, 1) == 1) got.push_back(c);

  _dup2(saved, 0);
  _close(saved);
  clearerr(stdin);
  _setmode(0, _O_TEXT);
  EXPECT_EQ(got, bytes);
}

// The process's console input and a screen buffer of the test's own, which
// never becomes the active one.
class Win32ConsoleTest : public ::testing::Test {
 protected:
  static constexpr SHORT WIDTH = 300;
  static constexpr SHORT ROWS = 60;

  void SetUp() override {
    conin_ = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (conin_ == INVALID_HANDLE_VALUE || !GetConsoleMode(conin_, &mode)) {
      GTEST_SKIP() << "no console";
    }
    saved_mode_ = mode;
    buffer_ = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_NE(buffer_, INVALID_HANDLE_VALUE);
    SMALL_RECT small{0, 0, 19, 9};
    SetConsoleWindowInfo(buffer_, TRUE, &small);
    ASSERT_TRUE(SetConsoleScreenBufferSize(buffer_, COORD{WIDTH, ROWS}));
    FlushConsoleInputBuffer(conin_);
    port_ = std::make_unique<Win32ConsolePort>(conin_, buffer_);
  }

  void TearDown() override {
    if (conin_ != INVALID_HANDLE_VALUE && conin_ != nullptr) {
      FlushConsoleInputBuffer(conin_);
      SetConsoleMode(conin_, saved_mode_);
      CloseHandle(conin_);
    }
    if (buffer_ != INVALID_HANDLE_VALUE && buffer_ != nullptr) CloseHandle(buffer_);
  }

  // Characters of row y from column x, n cells.
  std::string text(SHORT x, SHORT y, SHORT n) {
    std::string out;
    for (SHORT i = 0; i < n; ++i) out.push_back(cell(static_cast<SHORT>(x + i), y).Char.AsciiChar);
    return out;
  }
  CHAR_INFO cell(SHORT x, SHORT y) {
    CHAR_INFO c{};
    SMALL_RECT r{x, y, x, y};
    ReadConsoleOutputA(buffer_, &c, COORD{1, 1}, COORD{0, 0}, &r);
    return c;
  }
  void push(const INPUT_RECORD& r) {
    DWORD n = 0;
    ASSERT_TRUE(WriteConsoleInputA(conin_, &r, 1, &n));
    ASSERT_EQ(n, 1u);
  }
  static INPUT_RECORD key(bool down, WORD repeat, WORD vk, WORD sc, char ch, DWORD ks) {
    INPUT_RECORD r{};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
    r.Event.KeyEvent.wRepeatCount = repeat;
    r.Event.KeyEvent.wVirtualKeyCode = vk;
    r.Event.KeyEvent.wVirtualScanCode = sc;
    r.Event.KeyEvent.uChar.AsciiChar = ch;
    r.Event.KeyEvent.dwControlKeyState = ks;
    return r;
  }

  HANDLE conin_ = INVALID_HANDLE_VALUE;
  HANDLE buffer_ = INVALID_HANDLE_VALUE;
  DWORD saved_mode_ = 0;
  std::unique_ptr<Win32ConsolePort> port_;
};

TEST_F(Win32ConsoleTest, ScreenBufferInfoCursorAndWindow) {
  ASSERT_TRUE(port_->set_cursor_position(Coord{7, 42}));
  ScreenBufferInfo info;
  ASSERT_TRUE(port_->get_screen_buffer_info(&info));
  EXPECT_EQ(info.size.x, WIDTH);
  EXPECT_EQ(info.size.y, ROWS);
  EXPECT_EQ(info.cursor.x, 7);
  EXPECT_EQ(info.cursor.y, 42);
  CONSOLE_SCREEN_BUFFER_INFO csbi;
  ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer_, &csbi));
  EXPECT_EQ(info.attributes, csbi.wAttributes);
  EXPECT_EQ(info.window.top, csbi.srWindow.Top);
  EXPECT_EQ(info.window.bottom, csbi.srWindow.Bottom);

  // The window moves to absolute coordinates.
  ASSERT_TRUE(port_->set_window(SmallRect{0, 20, 19, 29}));
  ASSERT_TRUE(port_->get_screen_buffer_info(&info));
  EXPECT_EQ(info.window.top, 20);
  EXPECT_EQ(info.window.bottom, 29);
}

TEST_F(Win32ConsoleTest, WriteCellsKeepsBytesAttributesAndCursor) {
  ASSERT_TRUE(port_->set_cursor_position(Coord{0, 0}));
  // Longer than one piece of the port's cell buffer.
  CharCell cells[WIDTH - 10];
  for (int i = 0; i < WIDTH - 10; ++i) {
    cells[i].ch = static_cast<uint8_t>('a' + i % 26);
    cells[i].attr = static_cast<uint16_t>(0x10 + i % 7);
  }
  ASSERT_TRUE(port_->write_cells(cells, WIDTH - 10, Coord{5, 3}));
  EXPECT_EQ(text(3, 3, 5), std::string("  abc"));
  for (SHORT i : {0, 255, 256, WIDTH - 11}) {
    CHAR_INFO c = cell(static_cast<SHORT>(5 + i), 3);
    EXPECT_EQ(static_cast<uint8_t>(c.Char.AsciiChar), cells[i].ch) << "cell " << i;
    EXPECT_EQ(c.Attributes, cells[i].attr) << "cell " << i;
  }
  EXPECT_EQ(text(5, 4, 3), std::string("   "));
  ScreenBufferInfo info;
  ASSERT_TRUE(port_->get_screen_buffer_info(&info));
  EXPECT_EQ(info.cursor.x, 0);
  EXPECT_EQ(info.cursor.y, 0);
}

TEST_F(Win32ConsoleTest, ScrollAndFill) {
  for (SHORT y = 0; y < 4; ++y) {
    CharCell row[4];
    for (auto& c : row) c = CharCell{static_cast<uint8_t>('0' + y), 7};
    ASSERT_TRUE(port_->write_cells(row, 4, Coord{0, y}));
  }
  // Rows 1..3 up to row 0; the uncovered row 3 takes the fill.
  ASSERT_TRUE(port_->scroll_rect(SmallRect{0, 1, WIDTH - 1, 3}, Coord{0, 0}, CharCell{'.', 0x1F}));
  EXPECT_EQ(text(0, 0, 4), "1111");
  EXPECT_EQ(text(0, 1, 4), "2222");
  EXPECT_EQ(text(0, 2, 4), "3333");
  EXPECT_EQ(text(0, 3, 4), "....");
  EXPECT_EQ(cell(2, 3).Attributes, 0x1F);

  ASSERT_TRUE(port_->fill_chars('#', 3, Coord{1, 0}));
  ASSERT_TRUE(port_->fill_attrs(0x2E, 2, Coord{2, 0}));
  EXPECT_EQ(text(0, 0, 5), "1### ");
  EXPECT_EQ(cell(1, 0).Attributes, 7);
  EXPECT_EQ(cell(2, 0).Attributes, 0x2E);
  EXPECT_EQ(cell(3, 0).Attributes, 0x2E);
  EXPECT_EQ(cell(4, 0).Attributes, 7);
}

TEST_F(Win32ConsoleTest, CursorVisibilityKeepsSize) {
  CursorInfo before;
  ASSERT_TRUE(port_->get_cursor_info(&before));
  for (bool visible : {false, true, false}) {
    ASSERT_TRUE(port_->set_cursor_info(CursorInfo{before.size, visible}));
    CursorInfo now;
    ASSERT_TRUE(port_->get_cursor_info(&now));
    EXPECT_EQ(now.visible, visible);
    EXPECT_EQ(now.size, before.size);
  }
}

TEST_F(Win32ConsoleTest, ProcessedInputIsAddedAndNothingElseChanges) {
  const DWORD mode = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
  ASSERT_TRUE(SetConsoleMode(conin_, mode));
  EXPECT_TRUE(port_->input_is_console());
  EXPECT_TRUE(port_->enable_processed_input());
  DWORD now = 0;
  ASSERT_TRUE(GetConsoleMode(conin_, &now));
  EXPECT_EQ(now, mode | ENABLE_PROCESSED_INPUT);
}

TEST_F(Win32ConsoleTest, InputRecordsPassThrough) {
  INPUT_RECORD mouse{};
  mouse.EventType = MOUSE_EVENT;
  const INPUT_RECORD records[] = {
      key(true, 1, 'A', 0x1E, 'a', 0),
      key(true, 5, VK_UP, 0x48, 0, ENHANCED_KEY | NUMLOCK_ON),
      key(false, 1, VK_MENU, 0x38, 0, 0),
      key(true, 1, VK_NUMPAD6, 0x4D, 0, LEFT_ALT_PRESSED),
      key(true, 1, '7', 0x08, '{', RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED),
      key(true, 1, 0xDE, 0x28, static_cast<char>(0xE4), SHIFT_PRESSED),
      key(true, 0, VK_ESCAPE, 0x01, 27, 0),
      // Escape without its character, as Wine's console sends it, gets it.
      key(true, 1, VK_ESCAPE, 0x01, 0, 0),
      mouse,
  };
  for (const INPUT_RECORD& r : records) push(r);

  InputRecord rec;
  int count = 0;
  for (const INPUT_RECORD& r : records) {
    const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
    for (bool peek : {true, false}) {
      rec = InputRecord{};
      ASSERT_TRUE(peek ? port_->peek_input(&rec, &count) : port_->read_input(&rec, &count));
      ASSERT_EQ(count, 1);
      EXPECT_EQ(static_cast<WORD>(rec.type), r.EventType);
      if (r.EventType != KEY_EVENT) continue;
      EXPECT_EQ(rec.key.key_down, k.bKeyDown != FALSE);
      EXPECT_EQ(rec.key.repeat_count, k.wRepeatCount);
      EXPECT_EQ(rec.key.virtual_key, k.wVirtualKeyCode);
      EXPECT_EQ(rec.key.scan_code, k.wVirtualScanCode);
      const bool escape = k.wVirtualKeyCode == VK_ESCAPE;
      EXPECT_EQ(rec.key.ch, escape ? 27 : static_cast<uint8_t>(k.uChar.AsciiChar));
      EXPECT_EQ(rec.key.control_state, k.dwControlKeyState);
    }
  }
  ASSERT_TRUE(port_->peek_input(&rec, &count));
  EXPECT_EQ(count, 0);
}

TEST_F(Win32ConsoleTest, WaitEndsAtAKeyOrAfterTheTimeGiven) {
  DWORD t0 = GetTickCount();
  port_->wait_input(25);
  DWORD idle = GetTickCount() - t0;
  EXPECT_GE(idle, 10u);
  EXPECT_LT(idle, 1000u);

  // Found without input before the key came: the wait takes it in.
  InputRecord rec;
  int count = 1;
  ASSERT_TRUE(port_->peek_input(&rec, &count));
  EXPECT_EQ(count, 0);
  push(key(true, 1, 'A', 0x1E, 'a', 0));
  t0 = GetTickCount();
  port_->wait_input(5000);
  EXPECT_LT(GetTickCount() - t0, 1000u);
  ASSERT_TRUE(port_->peek_input(&rec, &count));
  EXPECT_EQ(count, 1);
}

}  // namespace
}  // namespace zw
