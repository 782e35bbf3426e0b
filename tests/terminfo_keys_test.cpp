// Every key the terminfo database lists for the terminals people use, as
// the terminal's key decoder and the keyboard's translation make of it. The
// database is read at test time (infocmp); the expected keys come from the
// PC keyboard's own codes, not from the decoder's tables.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "console/input/keyboard.h"
#include "platform/posix/terminal_keys.h"
#include "platform/us_layout.h"

namespace zw {
namespace {

constexpr uint32_t ENH = KeyState::ENHANCED;
constexpr uint32_t NUM = KeyState::NUM_LOCK;
constexpr uint32_t SHIFT = KeyState::SHIFT;
constexpr uint32_t CTRL = KeyState::LEFT_CTRL;
constexpr uint32_t ALT = KeyState::LEFT_ALT;

constexpr KeyCode X(int n) { return extended_key(n); }

// A key of a PC keyboard: its console key event with no modifier held, and
// the program's key code with no modifier, Shift, Ctrl and Alt (the IBM PC
// keyboard's extended codes; a plain number is a character).
struct PcKey {
  const char* name;
  uint16_t vk;
  uint8_t scan;
  uint8_t ch;
  uint32_t state;
  KeyCode code[4];
};

const PcKey PC_KEYS[] = {
    // name        vk                 scan  ch    state  none   Shift    Ctrl     Alt
    {"F1", 0x70, 0x3B, 0, 0, {X(0x3B), X(0x54), X(0x5E), X(0x68)}},
    {"F2", 0x71, 0x3C, 0, 0, {X(0x3C), X(0x55), X(0x5F), X(0x69)}},
    {"F3", 0x72, 0x3D, 0, 0, {X(0x3D), X(0x56), X(0x60), X(0x6A)}},
    {"F4", 0x73, 0x3E, 0, 0, {X(0x3E), X(0x57), X(0x61), X(0x6B)}},
    {"F5", 0x74, 0x3F, 0, 0, {X(0x3F), X(0x58), X(0x62), X(0x6C)}},
    {"F6", 0x75, 0x40, 0, 0, {X(0x40), X(0x59), X(0x63), X(0x6D)}},
    {"F7", 0x76, 0x41, 0, 0, {X(0x41), X(0x5A), X(0x64), X(0x6E)}},
    {"F8", 0x77, 0x42, 0, 0, {X(0x42), X(0x5B), X(0x65), X(0x6F)}},
    {"F9", 0x78, 0x43, 0, 0, {X(0x43), X(0x5C), X(0x66), X(0x70)}},
    {"F10", 0x79, 0x44, 0, 0, {X(0x44), X(0x5D), X(0x67), X(0x71)}},
    {"F11", 0x7A, 0x57, 0, 0, {X(0x85), X(0x87), X(0x89), X(0x8B)}},
    {"F12", 0x7B, 0x58, 0, 0, {X(0x86), X(0x88), X(0x8A), X(0x8C)}},
    {"Home", 0x24, 0x47, 0, ENH, {X(0x47), X(0x47), X(0x77), X(0x97)}},
    {"Up", 0x26, 0x48, 0, ENH, {X(0x48), X(0x48), X(0x8D), X(0x98)}},
    {"PageUp", 0x21, 0x49, 0, ENH, {X(0x49), X(0x49), X(0x84), X(0x99)}},
    {"Left", 0x25, 0x4B, 0, ENH, {X(0x4B), X(0x4B), X(0x73), X(0x9B)}},
    {"Right", 0x27, 0x4D, 0, ENH, {X(0x4D), X(0x4D), X(0x74), X(0x9D)}},
    {"End", 0x23, 0x4F, 0, ENH, {X(0x4F), X(0x4F), X(0x75), X(0x9F)}},
    {"Down", 0x28, 0x50, 0, ENH, {X(0x50), X(0x50), X(0x91), X(0xA0)}},
    {"PageDown", 0x22, 0x51, 0, ENH, {X(0x51), X(0x51), X(0x76), X(0xA1)}},
    {"Insert", 0x2D, 0x52, 0, ENH, {X(0x52), X(0x52), X(0x92), X(0xA2)}},
    {"Delete", 0x2E, 0x53, 0, ENH, {X(0x53), X(0x53), X(0x93), X(0xA3)}},
    {"Backspace", 0x08, 0x0E, 8, 0, {8, 8, 8, X(0x0E)}},
    {"Tab", 0x09, 0x0F, 9, 0, {9, X(0x0F), X(0x94), X(0x0F)}},
    {"Z", 'Z', 0x2C, 'z', 0, {'z', 'Z', 26, X(0x2C)}},
    // The numeric keypad with Num Lock on, its Enter and / gray keys; keypad
    // 5 with Num Lock off.
    {"KP0", 0x60, 0x52, '0', NUM, {'0'}},
    {"KP1", 0x61, 0x4F, '1', NUM, {'1'}},
    {"KP2", 0x62, 0x50, '2', NUM, {'2'}},
    {"KP3", 0x63, 0x51, '3', NUM, {'3'}},
    {"KP4", 0x64, 0x4B, '4', NUM, {'4'}},
    {"KP5", 0x65, 0x4C, '5', NUM, {'5'}},
    {"KP6", 0x66, 0x4D, '6', NUM, {'6'}},
    {"KP7", 0x67, 0x47, '7', NUM, {'7'}},
    {"KP8", 0x68, 0x48, '8', NUM, {'8'}},
    {"KP9", 0x69, 0x49, '9', NUM, {'9'}},
    {"KP.", 0x6E, 0x53, '.', NUM, {'.'}},
    {"KP,", 0x6C, 0x53, ',', NUM, {','}},
    {"KP+", 0x6B, 0x4E, '+', NUM, {'+'}},
    {"KP-", 0x6D, 0x4A, '-', NUM, {'-'}},
    {"KP*", 0x6A, 0x37, '*', NUM, {'*'}},
    {"KP/", 0x6F, 0x35, '/', ENH, {'/'}},
    {"KPEnter", 0x0D, 0x1C, 13, ENH, {13}},
    {"KPClear", 0x0C, 0x4C, 0, 0, {X(0x4C)}},
};

// terminfo's names for the keys, with the modifiers they stand for.
struct CapKey {
  const char* cap;
  const char* key;
  uint32_t mods;
};

const CapKey CAP_KEYS[] = {
    // cap      key          modifiers
    {"kcuu1", "Up", 0}, {"kcud1", "Down", 0}, {"kcub1", "Left", 0}, {"kcuf1", "Right", 0},
    {"khome", "Home", 0}, {"kend", "End", 0}, {"kich1", "Insert", 0}, {"kdch1", "Delete", 0},
    {"kpp", "PageUp", 0}, {"knp", "PageDown", 0}, {"kri", "Up", SHIFT}, {"kind", "Down", SHIFT},
    // Find and Select of a VT220 keyboard sit where a PC keyboard has Home
    // and End.
    {"kfnd", "Home", 0}, {"kslt", "End", 0},
    {"kbs", "Backspace", 0}, {"kcbt", "Tab", SHIFT}, {"kcbt2", "Tab", SHIFT}, {"kspd", "Z", CTRL},
    // The keypad: a1 a2 a3 / b1 b2 b3 / c1 c2 c3 are 7 8 9 / 4 5 6 / 1 2 3.
    {"ka1", "KP7", 0}, {"ka2", "KP8", 0}, {"ka3", "KP9", 0}, {"kb1", "KP4", 0}, {"kb2", "KP5", 0},
    {"kb3", "KP6", 0}, {"kc1", "KP1", 0}, {"kc2", "KP2", 0}, {"kc3", "KP3", 0}, {"kp5", "KPClear", 0},
    {"kbeg", "KPClear", 0}, {"kpZRO", "KP0", 0}, {"kpDOT", "KP.", 0}, {"kpCMA", "KP,", 0}, {"kpADD", "KP+", 0},
    {"kpSUB", "KP-", 0}, {"kpMUL", "KP*", 0}, {"kpDIV", "KP/", 0}, {"kent", "KPEnter", 0},
    // Help and Do of a VT220 keyboard are its F15 and F16.
    {"khlp", "F3", SHIFT}, {"krdo", "F4", SHIFT},
};

// Keys a terminal gives names of their own: what its keys send.
struct TerminalCapKey {
  const char* terminal;  // prefix of the terminal's name
  CapKey key;
};

const TerminalCapKey TERMINAL_CAP_KEYS[] = {
    {"st", {"ka1", "Home", 0}}, {"st", {"ka3", "PageUp", 0}}, {"st", {"kc1", "End", 0}},
    {"st", {"kc3", "PageDown", 0}}, {"st", {"kclr", "Delete", CTRL}}, {"st", {"kdl1", "Delete", SHIFT}},
    {"st", {"ked", "End", CTRL}}, {"st", {"kel", "End", SHIFT}}, {"st", {"kil1", "Insert", CTRL}},
    {"st", {"krmir", "Insert", SHIFT}}, {"linux", {"kb2", "KPClear", 0}}, {"rxvt", {"kel", "End", CTRL}},
};

// Extended names of modified keys: kUP is Shift+Up, kUP3..kUP7 carry the
// modifier number of the "ESC [ 1 ; m" forms (m - 1: Shift 1, Alt 2,
// Ctrl 4).
const std::map<std::string, std::string> MODIFIED_KEYS = {
    {"kUP", "Up"}, {"kDN", "Down"}, {"kLFT", "Left"}, {"kRIT", "Right"}, {"kHOM", "Home"},
    {"kEND", "End"}, {"kIC", "Insert"}, {"kDC", "Delete"}, {"kPRV", "PageUp"}, {"kNXT", "PageDown"},
    {"kFND", "Home"},
};
const uint32_t MODIFIER_NUMBERS[] = {0, 0, SHIFT, ALT, SHIFT | ALT, CTRL, SHIFT | CTRL, ALT | CTRL};

// Not keys: the start of a mouse report.
const char* const NOT_KEYS[] = {"kmous"};

const PcKey* pc_key(const std::string& name) {
  for (const PcKey& k : PC_KEYS)
    if (name == k.name) return &k;
  return nullptr;
}

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The key `cap` stands for in terminal `term`; false for none known.
bool expected_key(const std::string& term, const std::string& cap, const PcKey** key, uint32_t* mods) {
  auto found = [&](const CapKey& c) {
    *key = pc_key(c.key);
    *mods = c.mods;
    return *key != nullptr;
  };
  for (const TerminalCapKey& t : TERMINAL_CAP_KEYS)
    if (starts_with(term, t.terminal) && cap == t.key.cap) return found(t.key);
  for (const CapKey& c : CAP_KEYS)
    if (cap == c.cap) return found(c);
  // kfN: F1..F12, then twelve each with Shift, Ctrl, Ctrl+Shift, Alt,
  // Alt+Shift. rxvt counts its shifted keys from Shift+F1 = F11, so its F13
  // is Shift+F3.
  if (cap.size() > 2 && starts_with(cap, "kf") && cap.find_first_not_of("0123456789", 2) == std::string::npos) {
    const int n = std::atoi(cap.c_str() + 2) - 1;
    static const uint32_t groups[] = {0, SHIFT, CTRL, CTRL | SHIFT, ALT, ALT | SHIFT};
    if (n < 0 || n / 12 >= 6) return false;
    const bool rxvt_shifted = starts_with(term, "rxvt") && n >= 12 && n < 22;
    *key = &PC_KEYS[rxvt_shifted ? n - 10 : n % 12];
    *mods = rxvt_shifted ? SHIFT : groups[n / 12];
    return true;
  }
  const size_t digits = cap.find_first_of("0123456789");
  const auto base = MODIFIED_KEYS.find(cap.substr(0, digits));
  if (base == MODIFIED_KEYS.end()) return false;
  const int m = digits == std::string::npos ? 2 : std::atoi(cap.c_str() + digits);
  if (m < 2 || m > 7 || (digits != std::string::npos && cap.size() != digits + 1)) return false;
  *key = pc_key(base->second);
  *mods = MODIFIER_NUMBERS[m];
  return true;
}

// The key code of `k` with `mods` held: the first of Alt, Ctrl, Shift picks
// the column.
KeyCode expected_code(const PcKey& k, uint32_t mods) {
  if (k.state & NUM) return k.code[0];
  const int column = (mods & ALT) ? 3 : (mods & CTRL) ? 2 : (mods & SHIFT) ? 1 : 0;
  return k.code[column];
}

// A capability's value as bytes: \E, ^X, \ooo and the other escapes of the
// terminfo source format.
std::string unescape(const std::string& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    const char c = v[i];
    if (c == '^' && i + 1 < v.size()) {
      const char n = v[++i];
      out += n == '?' ? '\x7f' : static_cast<char>(n & 0x1F);
    } else if (c == '\\' && i + 1 < v.size()) {
      const char n = v[++i];
      switch (n) {
        case 'E': case 'e': out += '\x1b'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 's': out += ' '; break;
        default:
          if (n >= '0' && n <= '7' && i + 2 < v.size()) {
            const int value = std::strtol(v.substr(i, 3).c_str(), nullptr, 8);
            out += static_cast<char>(value == 0 ? 0x80 : value);
            i += 2;
          } else {
            out += n;  // \\ \, \: \^
          }
      }
    } else {
      out += c;
    }
  }
  return out;
}

// The key capabilities (names starting with k, with a string value) of
// terminal `term`, extended ones included.
std::map<std::string, std::string> key_capabilities(const std::string& term) {
  std::map<std::string, std::string> caps;
  const std::string command = "infocmp -1 -x " + term + " 2>/dev/null";
  FILE* f = ::popen(command.c_str(), "r");
  if (f == nullptr) return caps;
  char line[1024];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    std::string s(line);
    const size_t start = s.find_first_not_of(" \t");
    if (start == std::string::npos || s[start] != 'k') continue;
    const size_t eq = s.find('=', start);
    const size_t end = s.rfind(',');
    if (eq == std::string::npos || end == std::string::npos || end < eq) continue;
    caps[s.substr(start, eq - start)] = unescape(s.substr(eq + 1, end - eq - 1));
  }
  ::pclose(f);
  return caps;
}

std::string printable(const std::string& bytes) {
  std::string s;
  for (unsigned char c : bytes) {
    if (c == 0x1b) {
      s += "\\E";
    } else if (c < 0x20 || c >= 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      s += buf;
    } else {
      s += static_cast<char>(c);
    }
  }
  return s;
}

TEST(TerminfoKeys, EveryListedKeyDecodesToItsKey) {
  const char* const terminals[] = {"xterm", "xterm-256color", "screen", "tmux", "linux", "rxvt-unicode",
                                   "rxvt-unicode-256color", "st", "st-256color", "foot", "vt220"};
  for (const std::string term : terminals) {
    const std::map<std::string, std::string> caps = key_capabilities(term);
    // Without the database (ncurses-term) nothing would be checked.
    ASSERT_GE(caps.size(), 20u) << "no terminfo entry for " << term << " (infocmp, ncurses-term)";
    for (const auto& [cap, bytes] : caps) {
      bool skip = false;
      for (const char* n : NOT_KEYS) skip |= cap == n;
      if (skip) continue;
      const std::string where = term + " " + cap + "=" + printable(bytes);
      const PcKey* key = nullptr;
      uint32_t mods = 0;
      if (!expected_key(term, cap, &key, &mods)) {
        ADD_FAILURE() << where << ": no expectation for this key";
        continue;
      }
      KeyDecoder d;
      reset_key_decoder(d, TextMode::UTF8, key_dialect_of(term.c_str()));
      std::vector<KeyEventRecord> events;
      decode_key_bytes(d, bytes.data(), bytes.size(), &events);
      if (key_decoder_pending(d)) decode_key_deadline(d, &events);
      if (events.size() != 1) {
        ADD_FAILURE() << where << ": " << events.size() << " key events";
        continue;
      }
      const KeyEventRecord& e = events[0];
      // Ctrl with a letter is the control byte.
      const uint8_t ch = (mods & CTRL) && key->ch >= 'a' && key->ch <= 'z' ? key->ch - 'a' + 1 : key->ch;
      EXPECT_EQ(e.virtual_key, key->vk) << where;
      EXPECT_EQ(e.scan_code, key->scan) << where;
      EXPECT_EQ(e.ch, ch) << where;
      EXPECT_EQ(e.control_state, key->state | mods) << where;
      EXPECT_EQ(translate_key_event(e.ch, e.scan_code, e.control_state, us_layout_vk_char(e.virtual_key)),
                expected_code(*key, mods))
          << where;
    }
  }
}

}  // namespace
}  // namespace zw
