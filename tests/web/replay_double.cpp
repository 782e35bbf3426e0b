// zw_web_replay SCRIPTS [SCRIPT STEP]
//
// The test double's side of the browser tests: runs the calculator on the
// virtual console (80 x 25, a buffer of 300 rows) once for each line of
// SCRIPTS, a script of keys (tokens below), typing each key once the program
// waits for one, as a person types. Prints, for each script, one line of
// hashes of the console's state: at the first wait, then after each key.
// With SCRIPT and STEP, prints that state itself instead.
//
// The state is the text the page's test reads off the page: the window's
// top row, the cursor (column, row, shown, size), then every buffer row as
// its characters in UTF-8 and its runs of colours, "fg.bg*count".
//
// Tokens, each one key (or one Alt+keypad entry) on a US keyboard:
//   c:XX        the character of code-page byte XX
//   Enter Backspace Tab Escape ShiftTab CtrlEnter
//   Delete Insert Home End PageUp PageDown Left Right Up Down   (gray keys,
//               also with Shift: Shift+Home)
//   F1 .. F12
//   KP0 .. KP9  keypad digits with Num Lock on;  KPEnd  keypad 1 with it off
//   KPEnter     keypad Enter
//   Alt:NNN     the digits NNN on the keypad with Alt held
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "calc/calculator.h"
#include "console/console.h"
#include "platform/terminal_text.h"
#include "platform/us_layout.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

using Events = std::vector<InputRecord>;

// Keys by name as the console reports them on a US keyboard.
struct NamedKey {
  const char* name;
  uint16_t vk;
  uint8_t scan;
  uint8_t ch;
  uint32_t state;
};
constexpr uint32_t ENH = KeyState::ENHANCED;
constexpr NamedKey KEYS[] = {
    {"Enter", VKEY_RETURN, SCAN_RETURN, '\r', 0},      {"Backspace", VKEY_BACK, SCAN_BACK, '\b', 0},
    {"Tab", VKEY_TAB, SCAN_TAB, '\t', 0},              {"Escape", VKEY_ESCAPE, SCAN_ESCAPE, 27, 0},
    {"ShiftTab", VKEY_TAB, SCAN_TAB, '\t', KeyState::SHIFT},
    {"CtrlEnter", VKEY_RETURN, SCAN_RETURN, '\n', KeyState::LEFT_CTRL},
    {"KPEnd", VKEY_END, SCAN_END, 0, 0},                {"KPEnter", VKEY_RETURN, SCAN_RETURN, '\r', ENH},
    {"Delete", VKEY_DELETE, SCAN_DELETE, 0, ENH},       {"Insert", VKEY_INSERT, SCAN_INSERT, 0, ENH},
    {"Home", VKEY_HOME, SCAN_HOME, 0, ENH},             {"End", VKEY_END, SCAN_END, 0, ENH},
    {"PageUp", VKEY_PRIOR, SCAN_PRIOR, 0, ENH},         {"PageDown", VKEY_NEXT, SCAN_NEXT, 0, ENH},
    {"Left", VKEY_LEFT, SCAN_LEFT, 0, ENH},             {"Right", VKEY_RIGHT, SCAN_RIGHT, 0, ENH},
    {"Up", VKEY_UP, SCAN_UP, 0, ENH},                   {"Down", VKEY_DOWN, SCAN_DOWN, 0, ENH},
};

// The events of one token: characters as the double types them, other
// keys pressed and let go.
Events token_events(const std::string& t) {
  VirtualConsole keys(1, 1, 1);
  const bool shift = t.rfind("Shift+", 0) == 0;
  const std::string name = t.substr(shift ? 6 : 0);
  auto keypad = [](char digit, uint32_t state) {
    const int d = digit - '0';
    return key_press(static_cast<uint16_t>(VKEY_NUMPAD0 + d), KEYPAD_SCANS[d], static_cast<uint8_t>(digit), state);
  };
  if (t.rfind("c:", 0) == 0) {
    keys.type(std::string(1, static_cast<char>(std::stoi(t.substr(2), nullptr, 16))));
  } else if (t.size() == 3 && t.rfind("KP", 0) == 0) {
    keys.push_key(keypad(t[2], 0));
  } else if (t.rfind("Alt:", 0) == 0) {
    InputRecord alt;
    alt.key = key_press(VKEY_MENU, SCAN_MENU, 0, KeyState::LEFT_ALT);
    keys.push_event(alt);
    for (char c : t.substr(4)) keys.push_key(keypad(c, KeyState::LEFT_ALT));
    alt.key = key_press(VKEY_MENU, SCAN_MENU, 0, 0);
    alt.key.key_down = false;
    keys.push_event(alt);
  } else if (t.size() >= 2 && t[0] == 'F') {
    keys.press_function(std::stoi(t.substr(1)));
  }
  for (const NamedKey& k : KEYS) {
    if (name == k.name) keys.push_key(key_press(k.vk, k.scan, k.ch, k.state | (shift ? KeyState::SHIFT : 0)));
  }
  Events e;
  InputRecord r;
  for (int n = 0; keys.read_input(&r, &n) && n == 1;) e.push_back(r);
  if (e.empty()) {
    std::cerr << "zw_web_replay: unknown key " << t << "\n";
    std::exit(2);
  }
  return e;
}

std::string state_text(VirtualConsole& vc) {
  CursorInfo info;
  vc.get_cursor_info(&info);
  std::ostringstream s;
  s << "window " << vc.window().top << "\ncursor " << vc.cursor().x << " " << vc.cursor().y << " "
    << (info.visible ? 1 : 0) << " " << info.size << "\n";
  for (int y = 0; y < vc.buffer_rows(); ++y) {
    for (int x = 0; x < vc.width(); ++x) {
      char glyph[4];
      s.write(glyph, static_cast<std::streamsize>(cell_glyph(vc.cell(x, y).ch, TextMode::UTF8, glyph)));
    }
    s << "\t";
    for (int x = 0, n = 0; x < vc.width(); x += n) {
      const uint16_t attr = vc.cell(x, y).attr;
      for (n = 0; x + n < vc.width() && vc.cell(x + n, y).attr == attr;) ++n;
      s << (x == 0 ? "" : ",") << (attr & 15) << "." << ((attr >> 4) & 15) << "*" << n;
    }
    s << "\n";
  }
  return s.str();
}

uint32_t fnv1a(const std::string& text) {
  uint32_t h = 2166136261u;
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}

// The states of one script: at the first wait and after each key.
std::vector<std::string> run_script(const std::vector<std::string>& tokens) {
  VirtualConsole vc(80, 25, 300);
  vc.idle_wait_limit = 0;
  auto con = std::make_unique<Console>();
  runtime_init(*con, &vc);
  std::vector<std::string> states;
  size_t next = 0;
  vc.on_wait = [&](VirtualConsole& v) {
    if (v.pending_events() != 0 || states.size() > next) return;
    states.push_back(state_text(v));
    if (next == tokens.size()) return;
    for (const InputRecord& r : token_events(tokens[next])) v.push_event(r);
    ++next;
  };
  try {
    run_calculator(*con);
    states.push_back(state_text(vc));  // ended by a key typed ahead
  } catch (const VirtualConsole::Starved&) {
  }
  remove_ctrl_handler(*con);
  return states;
}

}  // namespace
}  // namespace zw

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::cerr << "usage: zw_web_replay SCRIPTS [SCRIPT STEP]\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  std::string line;
  for (int script = 0; std::getline(in, line); ++script) {
    std::istringstream words(line);
    std::vector<std::string> tokens;
    for (std::string t; words >> t;) tokens.push_back(t);
    if (argc == 4 && script != std::stoi(argv[2])) continue;
    const std::vector<std::string> states = zw::run_script(tokens);
    if (argc == 4) {
      const size_t step = std::stoul(argv[3]);
      std::cout << (step < states.size() ? states[step] : "no such step\n");
      return 0;
    }
    for (size_t i = 0; i < states.size(); ++i) std::printf("%s%08x", i ? " " : "", zw::fnv1a(states[i]));
    std::printf("\n");
  }
  return 0;
}
