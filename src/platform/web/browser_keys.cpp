#include "platform/web/browser_keys.h"

#include <iterator>

#include "platform/terminal_text.h"
#include "platform/us_layout.h"

namespace zw {

namespace {

constexpr uint32_t ENH = KeyState::ENHANCED;

// A physical key that types no character of the US layout's table (or, for
// IntlBackslash, one the table has twice). num_vk: a keypad key's virtual
// key while it types its character (Num Lock on); ch: the character of a
// key whose KeyboardEvent.key is a name.
struct WebKey {
  std::string_view code;
  uint16_t vk;
  uint8_t scan;
  uint32_t state;
  uint16_t num_vk;
  uint8_t ch;
};

// KeyA..KeyZ, Digit0..Digit9, F1..F12 and Numpad0..Numpad9 are made from
// their names (web_key_of); the typing keys below Escape are the US
// layout's keys of their characters.
// clang-format off
constexpr WebKey WEB_KEYS[] = {
  // code              virtual key      scan            state  num_vk          ch
  {"IntlBackslash",    VKEY_OEM_102,    0x56,           0,     0,              0},
  {"ShiftLeft",        VKEY_SHIFT,      SCAN_LSHIFT,    0,     0,              0},
  {"ShiftRight",       VKEY_SHIFT,      SCAN_RSHIFT,    0,     0,              0},
  {"ControlLeft",      VKEY_CONTROL,    SCAN_CONTROL,   0,     0,              0},
  {"ControlRight",     VKEY_CONTROL,    SCAN_CONTROL,   ENH,   0,              0},
  {"AltLeft",          VKEY_MENU,       SCAN_MENU,      0,     0,              0},
  {"AltRight",         VKEY_MENU,       SCAN_MENU,      ENH,   0,              0},
  {"MetaLeft",         VKEY_LWIN,       SCAN_LWIN,      ENH,   0,              0},
  {"MetaRight",        VKEY_RWIN,       SCAN_RWIN,      ENH,   0,              0},
  {"ContextMenu",      VKEY_APPS,       SCAN_APPS,      ENH,   0,              0},
  {"CapsLock",         VKEY_CAPITAL,    SCAN_CAPITAL,   0,     0,              0},
  {"NumLock",          VKEY_NUMLOCK,    SCAN_NUMLOCK,   ENH,   0,              0},
  {"ScrollLock",       VKEY_SCROLL,     SCAN_SCROLL,    0,     0,              0},
  {"Pause",            VKEY_PAUSE,      SCAN_PAUSE,     0,     0,              0},
  {"PrintScreen",      VKEY_SNAPSHOT,   SCAN_SNAPSHOT,  ENH,   0,              0},
  {"Insert",           VKEY_INSERT,     SCAN_INSERT,    ENH,   0,              0},
  {"Delete",           VKEY_DELETE,     SCAN_DELETE,    ENH,   0,              0},
  {"Home",             VKEY_HOME,       SCAN_HOME,      ENH,   0,              0},
  {"End",              VKEY_END,        SCAN_END,       ENH,   0,              0},
  {"PageUp",           VKEY_PRIOR,      SCAN_PRIOR,     ENH,   0,              0},
  {"PageDown",         VKEY_NEXT,       SCAN_NEXT,      ENH,   0,              0},
  {"ArrowUp",          VKEY_UP,         SCAN_UP,        ENH,   0,              0},
  {"ArrowDown",        VKEY_DOWN,       SCAN_DOWN,      ENH,   0,              0},
  {"ArrowLeft",        VKEY_LEFT,       SCAN_LEFT,      ENH,   0,              0},
  {"ArrowRight",       VKEY_RIGHT,      SCAN_RIGHT,     ENH,   0,              0},
  {"NumpadDecimal",    VKEY_DELETE,     SCAN_DELETE,    0,     VKEY_DECIMAL,   0},
  {"NumpadEnter",      VKEY_RETURN,     SCAN_RETURN,    ENH,   0,              13},
  {"NumpadDivide",     VKEY_DIVIDE,     SCAN_DIVIDE,    ENH,   0,              0},
  {"NumpadMultiply",   VKEY_MULTIPLY,   SCAN_MULTIPLY,  0,     0,              0},
  {"NumpadSubtract",   VKEY_SUBTRACT,   SCAN_SUBTRACT,  0,     0,              0},
  {"NumpadAdd",        VKEY_ADD,        SCAN_ADD,       0,     0,              0},
  // Typing keys by their character on a US keyboard (in ch).
  {"Escape",           0,               0,              0,     0,              27},
  {"Backspace",        0,               0,              0,     0,              8},
  {"Tab",              0,               0,              0,     0,              9},
  {"Enter",            0,               0,              0,     0,              13},
  {"Space",            0,               0,              0,     0,              ' '},
  {"Minus",            0,               0,              0,     0,              '-'},
  {"Equal",            0,               0,              0,     0,              '='},
  {"BracketLeft",      0,               0,              0,     0,              '['},
  {"BracketRight",     0,               0,              0,     0,              ']'},
  {"Backslash",        0,               0,              0,     0,              '\\'},
  {"Semicolon",        0,               0,              0,     0,              ';'},
  {"Quote",            0,               0,              0,     0,              '\''},
  {"Backquote",        0,               0,              0,     0,              '`'},
  {"Comma",            0,               0,              0,     0,              ','},
  {"Period",           0,               0,              0,     0,              '.'},
  {"Slash",            0,               0,              0,     0,              '/'},
};
// clang-format on
static_assert(std::size(WEB_KEYS) == 47);

// The keys of the navigation block that the keypad digits 0..9 are with
// Num Lock off.
constexpr uint16_t KEYPAD_NAV_VKS[10] = {VKEY_INSERT, VKEY_END,   VKEY_DOWN, VKEY_NEXT, VKEY_LEFT,
                                         VKEY_CLEAR,  VKEY_RIGHT, VKEY_HOME, VKEY_UP,   VKEY_PRIOR};

// The digit or letter that ends `code` after `prefix`, -1 when it is not
// such a name.
int name_suffix(std::string_view code, std::string_view prefix, char first, char last) {
  if (code.size() != prefix.size() + 1 || code.substr(0, prefix.size()) != prefix) return -1;
  const char c = code.back();
  return c >= first && c <= last ? c - first : -1;
}

// The key at `code`, false for a code not on a PC keyboard's main blocks.
bool web_key_of(std::string_view code, WebKey* k) {
  if (const int i = name_suffix(code, "Key", 'A', 'Z'); i >= 0) {
    *k = {code, 0, 0, 0, 0, static_cast<uint8_t>('a' + i)};
  } else if (const int d = name_suffix(code, "Digit", '0', '9'); d >= 0) {
    *k = {code, 0, 0, 0, 0, static_cast<uint8_t>('0' + d)};
  } else if (const int n = name_suffix(code, "Numpad", '0', '9'); n >= 0) {
    *k = {code, KEYPAD_NAV_VKS[n], KEYPAD_SCANS[n], 0, static_cast<uint16_t>(VKEY_NUMPAD0 + n), 0};
  } else if (code.size() >= 2 && code.size() <= 3 && code[0] == 'F') {
    const int f = code.size() == 2 ? code[1] - '0' : (code[1] - '0') * 10 + code[2] - '0';
    if (f < 1 || f > 12 || (code.size() == 3 && code[1] != '1')) return false;
    *k = {code, static_cast<uint16_t>(VKEY_F1 + f - 1), function_key_scan(f - 1), 0, 0, 0};
  } else {
    for (const WebKey& w : WEB_KEYS) {
      if (w.code != code) continue;
      *k = w;
      return true;
    }
    return false;
  }
  return true;
}

uint8_t cp1252_or_zero(uint32_t code_point) {
  const int b = unicode_to_cp1252(code_point);
  return b < 0 ? 0 : static_cast<uint8_t>(b);
}

uint32_t side_bits(bool left, bool right, uint32_t left_bit, uint32_t right_bit) {
  if (right && !left) return right_bit;
  return right ? left_bit | right_bit : left_bit;
}

// The record's control-key state; `held` follows the Ctrl and Alt keys'
// own events, and forgets a side let go while the page had no focus.
uint32_t control_state(const BrowserKey& key, HeldSides& held) {
  if (key.code == "ControlLeft") held.left_ctrl = key.down;
  if (key.code == "ControlRight") held.right_ctrl = key.down;
  if (key.code == "AltLeft") held.left_alt = key.down;
  if (key.code == "AltRight") held.right_alt = key.down;
  if (!key.ctrl) held.left_ctrl = held.right_ctrl = false;
  if (!key.alt) held.left_alt = held.right_alt = false;
  uint32_t state = 0;
  if (key.shift) state |= KeyState::SHIFT;
  if (key.alt_graph) {
    state |= KeyState::LEFT_CTRL | KeyState::RIGHT_ALT;
  } else {
    if (key.ctrl) state |= side_bits(held.left_ctrl, held.right_ctrl, KeyState::LEFT_CTRL, KeyState::RIGHT_CTRL);
    if (key.alt) state |= side_bits(held.left_alt, held.right_alt, KeyState::LEFT_ALT, KeyState::RIGHT_ALT);
  }
  if (key.caps_lock) state |= KeyState::CAPS_LOCK;
  if (key.num_lock) state |= KeyState::NUM_LOCK;
  if (key.scroll_lock) state |= KeyState::SCROLL_LOCK;
  return state;
}

// The character the console reports, `base` being the key's character on
// a US keyboard (0 for none): what the layout typed (a key named, not typed,
// types only Enter, Tab, Backspace and Escape); for Ctrl alone the control
// byte (from the letter typed, else from the key's place); for Ctrl+Alt,
// which is AltGr, only a character the US keyboard has on another key or
// not at all (a third character of the layout's).
uint8_t key_char(const BrowserKey& key, uint8_t base, uint16_t scan) {
  const uint8_t typed = key.key_char != 0 ? cp1252_or_zero(key.key_char) : base < ' ' ? base : 0;
  if (key.alt_graph || !key.ctrl) return typed;
  if (key.alt) return typed >= ' ' && key_event_for_char(typed).scan_code == scan ? 0 : typed;
  switch (base) {
    case '\r': return '\n';
    case '\b': return 0x7F;
    case '\t':
    case 27:
    case ' ': return base;
    default: break;
  }
  const uint8_t letter = typed >= 'A' && typed <= 'Z' ? typed - 'A' + 'a' : typed;
  return control_byte_of_key(letter >= 'a' && letter <= 'z' ? letter : base);
}

}  // namespace

bool browser_key_record(const BrowserKey& key, HeldSides& held, KeyEventRecord* record) {
  const uint32_t state = control_state(key, held);
  WebKey k;
  if (!web_key_of(key.code, &k)) {
    // A key the page cannot place (a code it does not know, or none): the
    // character alone, on the US key that types it.
    const uint8_t ch = key.key_char != 0 ? cp1252_or_zero(key.key_char) : 0;
    if (ch == 0) return false;
    const KeyEventRecord us = key_event_for_char(ch);
    *record = key_press(us.virtual_key, us.scan_code, ch, state);
    record->key_down = key.down;
    return true;
  }
  const uint8_t us_char = k.vk == 0 ? k.ch : 0;
  uint16_t vk = k.vk;
  uint8_t scan = k.scan;
  if (us_char != 0) {
    const KeyEventRecord us = key_event_for_char(us_char);
    vk = us.virtual_key;
    scan = static_cast<uint8_t>(us.scan_code);
  }
  // A keypad key types its character with Num Lock on and no Shift, and
  // is the navigation key in its place otherwise: the browser says which.
  if (k.num_vk != 0 && key.key_char != 0) vk = k.num_vk;
  if (vk == VKEY_PAUSE && key.ctrl) vk = VKEY_CANCEL;
  *record = key_press(vk, scan, key_char(key, us_char != 0 ? us_char : k.ch, scan), state | k.state);
  record->key_down = key.down;
  return true;
}

}  // namespace zw
