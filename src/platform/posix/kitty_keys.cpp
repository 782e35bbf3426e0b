#include "platform/posix/kitty_keys.h"

#include "platform/posix/terminal_text.h"
#include "platform/us_layout.h"

namespace zw {

namespace {

static_assert(KITTY_PUSH[3] == '3' && KITTY_PUSH[4] == '1' && KITTY_KEY_FLAGS == 31);

enum : uint16_t {
  VKEY_CLEAR = 0x0C, VKEY_PAUSE = 0x13, VKEY_CAPITAL = 0x14, VKEY_SNAPSHOT = 0x2C,
  VKEY_LWIN = 0x5B, VKEY_RWIN = 0x5C, VKEY_APPS = 0x5D, VKEY_SEPARATOR = 0x6C,
  VKEY_F13 = 0x7C, VKEY_NUMLOCK = 0x90, VKEY_SCROLL = 0x91,
};

constexpr uint32_t ENH = KeyState::ENHANCED;

// Which modifier key a row is, for the held-key record.
enum class Side : uint8_t { NONE, LEFT_SHIFT, RIGHT_SHIFT, LEFT_CTRL, RIGHT_CTRL, LEFT_ALT, RIGHT_ALT };

// Keys of the "ESC [ code u" form that are not typed characters: the four
// control keys, then the private-use numbers. F13..F24 and the keypad digits
// are worked out in key_for_code.
struct CodeKey {
  uint32_t code;
  uint16_t vk;
  uint8_t scan;
  uint8_t ch;
  uint32_t state;
  Side side;
};

constexpr CodeKey CODE_KEYS[] = {
    // code  vk               scan  ch   state side
    {9, VKEY_TAB, 0x0F, 9, 0, Side::NONE},
    {13, VKEY_RETURN, 0x1C, 13, 0, Side::NONE},
    {27, VKEY_ESCAPE, 0x01, 27, 0, Side::NONE},
    {127, VKEY_BACK, 0x0E, 8, 0, Side::NONE},
    {57358, VKEY_CAPITAL, 0x3A, 0, 0, Side::NONE},
    {57359, VKEY_SCROLL, 0x46, 0, 0, Side::NONE},
    {57360, VKEY_NUMLOCK, 0x45, 0, ENH, Side::NONE},
    {57361, VKEY_SNAPSHOT, 0x37, 0, ENH, Side::NONE},
    {57362, VKEY_PAUSE, 0x45, 0, 0, Side::NONE},
    {57363, VKEY_APPS, 0x5D, 0, ENH, Side::NONE},
    {57409, VKEY_DECIMAL, 0x53, '.', 0, Side::NONE},
    {57410, VKEY_DIVIDE, 0x35, '/', ENH, Side::NONE},
    {57411, VKEY_MULTIPLY, 0x37, '*', 0, Side::NONE},
    {57412, VKEY_SUBTRACT, 0x4A, '-', 0, Side::NONE},
    {57413, VKEY_ADD, 0x4E, '+', 0, Side::NONE},
    {57414, VKEY_RETURN, 0x1C, 13, ENH, Side::NONE},
    {57415, 0, 0, '=', 0, Side::NONE},
    {57416, VKEY_SEPARATOR, 0x53, ',', 0, Side::NONE},
    // The keypad with Num Lock off: not gray keys.
    {57417, VKEY_LEFT, 0x4B, 0, 0, Side::NONE},
    {57418, VKEY_RIGHT, 0x4D, 0, 0, Side::NONE},
    {57419, VKEY_UP, 0x48, 0, 0, Side::NONE},
    {57420, VKEY_DOWN, 0x50, 0, 0, Side::NONE},
    {57421, VKEY_PRIOR, 0x49, 0, 0, Side::NONE},
    {57422, VKEY_NEXT, 0x51, 0, 0, Side::NONE},
    {57423, VKEY_HOME, 0x47, 0, 0, Side::NONE},
    {57424, VKEY_END, 0x4F, 0, 0, Side::NONE},
    {57425, VKEY_INSERT, 0x52, 0, 0, Side::NONE},
    {57426, VKEY_DELETE, 0x53, 0, 0, Side::NONE},
    {57427, VKEY_CLEAR, 0x4C, 0, 0, Side::NONE},
    // Modifier keys; Alt Gr (ISO level 3 shift) is the right Alt.
    {57441, VKEY_SHIFT, 0x2A, 0, 0, Side::LEFT_SHIFT},
    {57442, VKEY_CONTROL, 0x1D, 0, 0, Side::LEFT_CTRL},
    {57443, VKEY_MENU, 0x38, 0, 0, Side::LEFT_ALT},
    {57444, VKEY_LWIN, 0x5B, 0, ENH, Side::NONE},
    {57447, VKEY_SHIFT, 0x36, 0, 0, Side::RIGHT_SHIFT},
    {57448, VKEY_CONTROL, 0x1D, 0, ENH, Side::RIGHT_CTRL},
    {57449, VKEY_MENU, 0x38, 0, ENH, Side::RIGHT_ALT},
    {57450, VKEY_RWIN, 0x5C, 0, ENH, Side::NONE},
    {57453, VKEY_MENU, 0x38, 0, ENH, Side::RIGHT_ALT},
};
static_assert(sizeof CODE_KEYS / sizeof CODE_KEYS[0] == 38);

constexpr uint32_t KP_0 = 57399;
constexpr uint32_t F13 = 57364;
constexpr uint32_t PRIVATE_FIRST = 57344;  // the protocol's private-use numbers
constexpr uint32_t PRIVATE_LAST = 63743;

// Scan codes of keypad 0..9.
constexpr uint8_t KEYPAD_SCANS[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};

// Keys of the "ESC [ number ~" and "ESC [ letter" forms; number 0 for a
// letter.
struct LegacyKey {
  char final;
  uint16_t number;
  uint16_t vk;
  uint8_t scan;
  uint32_t state;
};

constexpr LegacyKey LEGACY_KEYS[] = {
    // final number vk            scan  state
    {'A', 0, VKEY_UP, 0x48, ENH},
    {'B', 0, VKEY_DOWN, 0x50, ENH},
    {'C', 0, VKEY_RIGHT, 0x4D, ENH},
    {'D', 0, VKEY_LEFT, 0x4B, ENH},
    {'E', 0, VKEY_CLEAR, 0x4C, 0},
    {'F', 0, VKEY_END, 0x4F, ENH},
    {'H', 0, VKEY_HOME, 0x47, ENH},
    {'P', 0, VKEY_F1 + 0, 0x3B, 0},
    {'Q', 0, VKEY_F1 + 1, 0x3C, 0},
    {'R', 0, VKEY_F1 + 2, 0x3D, 0},
    {'S', 0, VKEY_F1 + 3, 0x3E, 0},
    {'~', 2, VKEY_INSERT, 0x52, ENH},
    {'~', 3, VKEY_DELETE, 0x53, ENH},
    {'~', 5, VKEY_PRIOR, 0x49, ENH},
    {'~', 6, VKEY_NEXT, 0x51, ENH},
    {'~', 7, VKEY_HOME, 0x47, ENH},
    {'~', 8, VKEY_END, 0x4F, ENH},
    {'~', 11, VKEY_F1 + 0, 0x3B, 0},
    {'~', 12, VKEY_F1 + 1, 0x3C, 0},
    {'~', 13, VKEY_F1 + 2, 0x3D, 0},
    {'~', 14, VKEY_F1 + 3, 0x3E, 0},
    {'~', 15, VKEY_F1 + 4, 0x3F, 0},
    {'~', 17, VKEY_F1 + 5, 0x40, 0},
    {'~', 18, VKEY_F1 + 6, 0x41, 0},
    {'~', 19, VKEY_F1 + 7, 0x42, 0},
    {'~', 20, VKEY_F1 + 8, 0x43, 0},
    {'~', 21, VKEY_F1 + 9, 0x44, 0},
    {'~', 23, VKEY_F1 + 10, 0x57, 0},
    {'~', 24, VKEY_F1 + 11, 0x58, 0},
    {'~', 29, VKEY_APPS, 0x5D, ENH},
    {'~', 57427, VKEY_CLEAR, 0x4C, 0},
};
static_assert(sizeof LEGACY_KEYS / sizeof LEGACY_KEYS[0] == 31);

// A sequence split into fields (;) of sub-parameters (:). An empty
// sub-parameter is 0.
constexpr int MAX_FIELDS = 3;
constexpr int MAX_SUBS = 8;

struct Fields {
  int count = 0;
  int subs[MAX_FIELDS] = {};
  uint32_t value[MAX_FIELDS][MAX_SUBS] = {};
};

bool split_fields(const char* p, size_t n, Fields* f) {
  *f = Fields{};
  if (n == 0) return true;
  f->count = 1;
  f->subs[0] = 1;
  for (size_t i = 0; i < n; ++i) {
    const char c = p[i];
    uint32_t& v = f->value[f->count - 1][f->subs[f->count - 1] - 1];
    if (c >= '0' && c <= '9') {
      v = v * 10 + static_cast<uint32_t>(c - '0');
      if (v > 0x10FFFF) return false;
    } else if (c == ':') {
      if (f->subs[f->count - 1] == MAX_SUBS) return false;
      ++f->subs[f->count - 1];
    } else if (c == ';') {
      if (f->count == MAX_FIELDS) return false;
      f->subs[f->count++] = 1;
    } else {
      return false;
    }
  }
  return true;
}

struct Key {
  uint16_t vk = 0;
  uint16_t scan = 0;
  uint8_t ch = 0;
  uint32_t state = 0;
  Side side = Side::NONE;
  bool typed = false;  // a character key: ch comes from the text or the code
};

// The key of a "u" code; false for codes the console has no key for.
bool key_for_code(uint32_t code, Key* k) {
  for (const CodeKey& c : CODE_KEYS) {
    if (c.code != code) continue;
    *k = Key{c.vk, c.scan, c.ch, c.state, c.side, false};
    return true;
  }
  if (code >= KP_0 && code <= KP_0 + 9) {
    const uint32_t n = code - KP_0;
    *k = Key{static_cast<uint16_t>(VKEY_NUMPAD0 + n), KEYPAD_SCANS[n], static_cast<uint8_t>('0' + n), 0, Side::NONE,
             false};
    return true;
  }
  if (code >= F13 && code < F13 + 12) {
    *k = Key{static_cast<uint16_t>(VKEY_F13 + (code - F13)), 0, 0, 0, Side::NONE, false};
    return true;
  }
  if (code < 32 || (code >= PRIVATE_FIRST && code <= PRIVATE_LAST)) return false;
  *k = Key{};
  k->typed = true;
  return true;
}

// The character a console reports for Ctrl with the key of `c` (a US
// keyboard's unshifted character): the control byte, 0 when there is none.
uint8_t ctrl_char(uint32_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 1);
  switch (c) {
    case '[': return 27;
    case '\\': return 28;
    case ']': return 29;
    case '6': return 30;
    case '-': return 31;
    default: return 0;
  }
}

uint8_t cp1252_or_zero(uint32_t code_point) {
  const int b = unicode_to_cp1252(code_point);
  return b < 0 ? 0 : static_cast<uint8_t>(b);
}

bool* held_flag(KittyKeyState& s, Side side) {
  switch (side) {
    case Side::LEFT_SHIFT: return &s.left_shift;
    case Side::RIGHT_SHIFT: return &s.right_shift;
    case Side::LEFT_CTRL: return &s.left_ctrl;
    case Side::RIGHT_CTRL: return &s.right_ctrl;
    case Side::LEFT_ALT: return &s.left_alt;
    case Side::RIGHT_ALT: return &s.right_alt;
    case Side::NONE: return nullptr;
  }
  return nullptr;
}

// Control-key state of an event. The reports' modifier bits are those held
// before the event; for a modifier key's own event the console shows its
// bit set on press and clear on release, so those come from the held keys.
uint32_t control_state(KittyKeyState& s, uint32_t mods, const Key& k, bool down) {
  const uint32_t bits = mods > 0 ? mods - 1 : 0;
  bool shift = bits & 1;
  bool alt = bits & (2 | 32);
  bool ctrl = bits & 4;
  if (bool* held = held_flag(s, k.side)) {
    *held = down;
    shift = s.left_shift || s.right_shift;
    ctrl = s.left_ctrl || s.right_ctrl;
    alt = s.left_alt || s.right_alt;
  } else {
    // Let go while the terminal did not see it (another window had the
    // focus): the bits are right, the sides forgotten.
    if (!shift) s.left_shift = s.right_shift = false;
    if (!ctrl) s.left_ctrl = s.right_ctrl = false;
    if (!alt) s.left_alt = s.right_alt = false;
  }
  uint32_t state = k.state;
  if (shift) state |= KeyState::SHIFT;
  if (ctrl) state |= s.right_ctrl && !s.left_ctrl ? KeyState::RIGHT_CTRL
                     : s.right_ctrl            ? KeyState::LEFT_CTRL | KeyState::RIGHT_CTRL
                                               : KeyState::LEFT_CTRL;
  if (alt) state |= s.right_alt && !s.left_alt ? KeyState::RIGHT_ALT
                    : s.right_alt            ? KeyState::LEFT_ALT | KeyState::RIGHT_ALT
                                             : KeyState::LEFT_ALT;
  if (bits & 64) state |= KeyState::CAPS_LOCK;
  if (bits & 128) state |= KeyState::NUM_LOCK;
  return state;
}

KeyEventRecord make_event(const Key& k, uint32_t state, bool down) {
  KeyEventRecord e;
  e.key_down = down;
  e.repeat_count = 1;
  e.virtual_key = k.vk;
  e.scan_code = k.scan;
  e.ch = k.ch;
  e.control_state = state;
  return e;
}

constexpr uint32_t ALT_BITS = KeyState::LEFT_ALT | KeyState::RIGHT_ALT;
constexpr uint32_t CTRL_BITS = KeyState::LEFT_CTRL | KeyState::RIGHT_CTRL;

}  // namespace

bool decode_kitty_sequence(KittyKeyState& s, const char* params, size_t count, char final,
                           std::vector<KeyEventRecord>* keys) {
  Fields f;
  if (!split_fields(params, count, &f)) return false;
  Key k;
  uint32_t code = 0;
  if (final == 'u') {
    if (f.count == 0 || f.subs[0] > 3 || (f.count > 1 && f.subs[1] > 2)) return false;
    code = f.value[0][0];
    // A key the console has none for (media keys, Hyper, Meta) is taken and
    // gives nothing.
    if (!key_for_code(code, &k)) return code >= PRIVATE_FIRST && code <= PRIVATE_LAST;
  } else {
    // "ESC [ number ~", "ESC [ letter", "ESC [ 1 ; mods letter".
    if (f.count > 2 || f.subs[0] > 1 || (f.count == 2 && f.subs[1] > 2)) return false;
    const uint32_t number = f.count > 0 ? f.value[0][0] : 0;
    if (final != '~' && number > 1) return false;
    bool found = false;
    for (const LegacyKey& l : LEGACY_KEYS) {
      if (l.final != final || (final == '~' && l.number != number)) continue;
      k = Key{l.vk, l.scan, 0, l.state, Side::NONE, false};
      found = true;
      break;
    }
    if (!found) return false;
  }
  const uint32_t mods = f.count > 1 ? f.value[1][0] : 1;
  const uint32_t event = f.count > 1 && f.subs[1] > 1 ? f.value[1][1] : 1;
  if (event < 1 || event > 3) return false;
  const bool down = event != 3;
  const uint32_t state = control_state(s, mods, k, down);

  if (k.typed) {
    // A character key: its place on a US keyboard from the base-layout key
    // (or the code), its character from the text, else as the console makes
    // it of the key and the modifiers.
    const uint32_t base = f.subs[0] > 2 && f.value[0][2] != 0 ? f.value[0][2] : code;
    if (base < 0x80) {
      const KeyEventRecord us = key_event_for_char(static_cast<uint8_t>(base));
      k.vk = us.virtual_key;
      k.scan = us.scan_code;
    }
    const bool has_text = f.count > 2 && f.value[2][0] != 0;
    if (has_text) {
      k.ch = cp1252_or_zero(f.value[2][0]);
    } else if ((state & CTRL_BITS) && !(state & ALT_BITS)) {
      k.ch = ctrl_char(base);
    } else {
      const uint32_t shifted = f.subs[0] > 1 ? f.value[0][1] : 0;
      k.ch = cp1252_or_zero((state & KeyState::SHIFT) && shifted != 0 ? shifted : code);
    }
    // A character the code page lacks, on a key a US keyboard lacks, is
    // no key at all: as typed text, it is dropped.
    if (k.vk != 0 || k.ch != 0) keys->push_back(make_event(k, state, down));
    // Further characters of the text (a composed sequence) follow as keys
    // without a place on the keyboard.
    if (has_text && down) {
      for (int i = 1; i < f.subs[2]; ++i) {
        const uint8_t ch = cp1252_or_zero(f.value[2][i]);
        if (ch != 0) keys->push_back(make_event(Key{0, 0, ch, 0, Side::NONE, true}, 0, true));
      }
    }
    return true;
  }
  if (k.vk == VKEY_RETURN && (state & CTRL_BITS)) k.ch = 10;
  if (k.vk == VKEY_BACK && (state & CTRL_BITS)) k.ch = 127;
  // Keypad digits held with Alt give no character, so that they can enter a
  // character by its number.
  if (k.vk >= VKEY_NUMPAD0 && k.vk <= VKEY_NUMPAD0 + 9 && (state & ALT_BITS)) k.ch = 0;
  keys->push_back(make_event(k, state, down));
  return true;
}

int kitty_flags_answer(const char* params, size_t count, char final) {
  if (final != 'u' || count < 2 || count > 6 || params[0] != '?') return -1;
  int flags = 0;
  for (size_t i = 1; i < count; ++i) {
    if (params[i] < '0' || params[i] > '9') return -1;
    flags = flags * 10 + (params[i] - '0');
  }
  return flags;
}

}  // namespace zw
