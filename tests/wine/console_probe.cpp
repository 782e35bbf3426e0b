// Starts a program in a console window of its own and reads that console
// back cell by cell, types keys into it and moves its window, on commands
// read from standard input, one a line; every command is answered on
// standard output, ending in a line "end".
//
//   sizes BW BH WW WH  the buffer and window size new consoles get (the
//                      user's console settings, HKCU\Console)
//   start CMDLINE      the program with a new console; answers "pid N"
//   screen             "info W H L T R B X Y V A": buffer size, window,
//                      cursor, cursor visible, current attribute; then one
//                      line a buffer row: its W bytes (control bytes shown
//                      as '?'), a blank, and a hex digit a cell for its
//                      attribute ('*' above 15)
//   type TEXT          each byte of TEXT as a key press and release
//   key NAME...        named keys: Enter Escape Backspace Tab Insert Delete
//                      Home End Left Right Up Down ctrl+c
//   window L T R B     the window moved or resized (absolute coordinates)
//   exit MS            waits up to MS ms for the program to end; "exit N"
//                      or "running"
//
// Keys are console input records, key-down and key-up, as the console's
// window makes them: virtual key, scan code, character and control state.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

HANDLE program = nullptr;
HANDLE conin = INVALID_HANDLE_VALUE;
HANDLE conout = INVALID_HANDLE_VALUE;

HANDLE open_console(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

// The new console exists once the program runs; attaching may take a few
// tries while it is made.
bool start(const std::string& cmdline) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> line(cmdline.begin(), cmdline.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr, &si,
                      &pi)) {
    return false;
  }
  CloseHandle(pi.hThread);
  program = pi.hProcess;
  FreeConsole();
  for (int i = 0; i < 100; ++i) {
    if (AttachConsole(pi.dwProcessId)) {
      conin = open_console("CONIN$");
      conout = open_console("CONOUT$");
      std::printf("pid %lu\n", pi.dwProcessId);
      return conin != INVALID_HANDLE_VALUE && conout != INVALID_HANDLE_VALUE;
    }
    Sleep(50);
  }
  return false;
}

bool sizes(const std::string& args) {
  int bw, bh, ww, wh;
  if (std::sscanf(args.c_str(), "%d %d %d %d", &bw, &bh, &ww, &wh) != 4) return false;
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Console", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  // Rows in the high word, columns in the low one.
  const DWORD buffer = DWORD(bh) << 16 | DWORD(bw), win = DWORD(wh) << 16 | DWORD(ww);
  const bool ok =
      RegSetValueExA(key, "ScreenBufferSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&buffer), 4) == 0 &&
      RegSetValueExA(key, "WindowSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&win), 4) == 0;
  RegCloseKey(key);
  return ok;
}

bool screen() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  CONSOLE_CURSOR_INFO cursor;
  if (!GetConsoleScreenBufferInfo(conout, &info) || !GetConsoleCursorInfo(conout, &cursor)) return false;
  const int w = info.dwSize.X, h = info.dwSize.Y;
  std::vector<char> chars(static_cast<size_t>(w));
  std::vector<WORD> attrs(static_cast<size_t>(w));
  std::string rows;
  for (SHORT y = 0; y < h; ++y) {
    DWORD n = 0, m = 0;
    if (!ReadConsoleOutputCharacterA(conout, chars.data(), w, COORD{0, y}, &n) ||
        !ReadConsoleOutputAttribute(conout, attrs.data(), w, COORD{0, y}, &m) || n != DWORD(w) || m != DWORD(w)) {
      return false;
    }
    for (int x = 0; x < w; ++x) {
      const unsigned char c = static_cast<unsigned char>(chars[x]);
      rows += c < 32 || c == 127 ? '?' : char(c);
    }
    rows += ' ';
    for (int x = 0; x < w; ++x) rows += attrs[x] < 16 ? "0123456789abcdef"[attrs[x]] : '*';
    rows += '\n';
  }
  std::printf("info %d %d %d %d %d %d %d %d %d %d\n%s", w, h, info.srWindow.Left, info.srWindow.Top,
              info.srWindow.Right, info.srWindow.Bottom, info.dwCursorPosition.X, info.dwCursorPosition.Y,
              cursor.bVisible ? 1 : 0, info.wAttributes, rows.c_str());
  return true;
}

bool press(WORD vk, char ch, DWORD state) {
  INPUT_RECORD r[2]{};
  for (int i = 0; i < 2; ++i) {
    r[i].EventType = KEY_EVENT;
    KEY_EVENT_RECORD& k = r[i].Event.KeyEvent;
    k.bKeyDown = i == 0;
    k.wRepeatCount = 1;
    k.wVirtualKeyCode = vk;
    k.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    k.uChar.AsciiChar = ch;
    k.dwControlKeyState = state;
  }
  DWORD n = 0;
  return WriteConsoleInputA(conin, r, 2, &n) && n == 2;
}

bool type(const std::string& text) {
  for (char ch : text) {
    const SHORT scan = VkKeyScanA(ch);
    if (scan == -1) return false;
    if (!press(LOBYTE(scan), ch, (HIBYTE(scan) & 1) ? SHIFT_PRESSED : 0)) return false;
  }
  return true;
}

struct NamedKey {
  const char* name;
  WORD vk;
  char ch;
  DWORD state;
};
constexpr NamedKey NAMED_KEYS[] = {
    // name       virtual key  char  control state
    {"Enter", VK_RETURN, '\r', 0},
    {"Escape", VK_ESCAPE, 27, 0},
    {"Backspace", VK_BACK, 8, 0},
    {"Tab", VK_TAB, 9, 0},
    {"Insert", VK_INSERT, 0, ENHANCED_KEY},
    {"Delete", VK_DELETE, 0, ENHANCED_KEY},
    {"Home", VK_HOME, 0, ENHANCED_KEY},
    {"End", VK_END, 0, ENHANCED_KEY},
    {"Left", VK_LEFT, 0, ENHANCED_KEY},
    {"Right", VK_RIGHT, 0, ENHANCED_KEY},
    {"Up", VK_UP, 0, ENHANCED_KEY},
    {"Down", VK_DOWN, 0, ENHANCED_KEY},
    {"ctrl+c", 'C', 3, LEFT_CTRL_PRESSED},
};

bool keys(const std::string& names) {
  size_t at = 0;
  while (at < names.size()) {
    size_t end = names.find(' ', at);
    if (end == std::string::npos) end = names.size();
    const std::string name = names.substr(at, end - at);
    at = end + 1;
    if (name.empty()) continue;
    const NamedKey* found = nullptr;
    for (const NamedKey& k : NAMED_KEYS) {
      if (name == k.name) found = &k;
    }
    if (found == nullptr || !press(found->vk, found->ch, found->state)) return false;
  }
  return true;
}

bool window(const std::string& args) {
  SMALL_RECT r;
  int l, t, rt, b;
  if (std::sscanf(args.c_str(), "%d %d %d %d", &l, &t, &rt, &b) != 4) return false;
  r.Left = SHORT(l), r.Top = SHORT(t), r.Right = SHORT(rt), r.Bottom = SHORT(b);
  return SetConsoleWindowInfo(conout, TRUE, &r);
}

bool await_exit(const std::string& args) {
  const DWORD ms = static_cast<DWORD>(std::strtoul(args.c_str(), nullptr, 10));
  DWORD code = 0;
  if (program == nullptr) return false;
  if (WaitForSingleObject(program, ms) == WAIT_OBJECT_0 && GetExitCodeProcess(program, &code)) {
    std::printf("exit %lu\n", code);
  } else {
    std::printf("running\n");
  }
  return true;
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  char buf[4096];
  while (std::fgets(buf, sizeof buf, stdin) != nullptr) {
    std::string line(buf);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const size_t space = line.find(' ');
    const std::string cmd = line.substr(0, space);
    const std::string args = space == std::string::npos ? "" : line.substr(space + 1);
    bool ok = false;
    if (cmd == "sizes") ok = sizes(args);
    else if (cmd == "start") ok = start(args);
    else if (cmd == "screen") ok = screen();
    else if (cmd == "type") ok = type(args);
    else if (cmd == "key") ok = keys(args);
    else if (cmd == "window") ok = window(args);
    else if (cmd == "exit") ok = await_exit(args);
    std::printf(ok ? "end\n" : "error %lu\nend\n", GetLastError());
    std::fflush(stdout);
  }
  if (program != nullptr) TerminateProcess(program, 1);
  return 0;
}
