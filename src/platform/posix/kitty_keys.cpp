#include "platform/posix/kitty_keys.h"

#include "platform/posix/key_sequences.h"
#include "platform/posix/terminal_sequences.h"
#include "platform/terminal_text.h"
#include "platform/us_layout.h"

namespace zw {

namespace {

static_assert(KITTY_PUSH[3] == '3' && KITTY_PUSH[4] == '1' && KITTY_KEY_FLAGS == 31);

constexpr uint32_t F13 = 57364;
constexpr uint32_t PRIVATE_FIRST = 57344;  // the protocol's private-use numbers
constexpr uint32_t PRIVATE_LAST = 63743;

// Which modifier key an event is, for the held-key record.
enum class Side : uint8_t { NONE, LEFT_SHIFT, RIGHT_SHIFT, LEFT_CTRL, RIGHT_CTRL, LEFT_ALT, RIGHT_ALT };

// The right Ctrl and Alt are enhanced keys; the right Shift has a scan code
// of its own.
Side side_of(const KeyEventRecord& k) {
  const bool right = (k.control_state & KeyState::ENHANCED) != 0;
  switch (k.virtual_key) {
    case VKEY_SHIFT: return k.scan_code == SCAN_RSHIFT ? Side::RIGHT_SHIFT : Side::LEFT_SHIFT;
    case VKEY_CONTROL: return right ? Side::RIGHT_CTRL : Side::LEFT_CTRL;
    case VKEY_MENU: return right ? Side::RIGHT_ALT : Side::LEFT_ALT;
    default: return Side::NONE;
  }
}

// The key of a "u" code, with the state its row gives; false for codes the
// console has no key for. `typed`: a character key, whose character and
// place come from the report.
bool key_for_code(uint32_t code, KeyEventRecord* k, bool* typed) {
  *typed = false;
  if (const KeySequence* s = find_key_sequence('[', code, 'u', KITTY)) {
    *k = key_press(s->vk, s->scan, s->ch, s->state);
    return true;
  }
  if (code >= F13 && code < F13 + 12) {
    *k = key_press(static_cast<uint16_t>(VKEY_F13 + (code - F13)), 0, 0, 0);
    return true;
  }
  if (code < 32 || (code >= PRIVATE_FIRST && code <= PRIVATE_LAST)) return false;
  *k = key_press(0, 0, 0, 0);
  *typed = true;
  return true;
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
uint32_t control_state(KittyKeyState& s, uint32_t mods, const KeyEventRecord& k, bool down) {
  const uint32_t bits = mods > 0 ? mods - 1 : 0;
  bool shift = bits & 1;
  bool alt = bits & (2 | 32);
  bool ctrl = bits & 4;
  if (bool* held = held_flag(s, side_of(k))) {
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
  uint32_t state = k.control_state;
  if (shift) state |= KeyState::SHIFT;
  if (ctrl) state |= s.right_ctrl && !s.left_ctrl ? KeyState::RIGHT_CTRL
                     : s.right_ctrl            ? KeyState::CTRL_HELD
                                               : KeyState::LEFT_CTRL;
  if (alt) state |= s.right_alt && !s.left_alt ? KeyState::RIGHT_ALT
                    : s.right_alt            ? KeyState::ALT_HELD
                                             : KeyState::LEFT_ALT;
  if (bits & 64) state |= KeyState::CAPS_LOCK;
  if (bits & 128) state |= KeyState::NUM_LOCK;
  return state;
}

// The event of key `k` going down or up with `state`.
KeyEventRecord key_event(const KeyEventRecord& k, uint32_t state, bool down) {
  KeyEventRecord e = key_press(k.virtual_key, k.scan_code, k.ch, state);
  e.key_down = down;
  return e;
}

}  // namespace

bool decode_kitty_sequence(KittyKeyState& s, const char* params, size_t count, char final,
                           std::vector<KeyEventRecord>* keys) {
  CsiParams f;
  if (!parse_csi_params(params, count, &f) || f.count > 3) return false;
  KeyEventRecord k;
  bool typed = false;
  uint32_t code = 0;
  if (final == 'u') {
    if (f.count == 0 || f.subs[0] > 3 || (f.count > 1 && f.subs[1] > 2)) return false;
    code = f.value[0][0];
    // A key the console has none for (media keys, Hyper, Meta) is taken and
    // gives nothing.
    if (!key_for_code(code, &k, &typed)) return code >= PRIVATE_FIRST && code <= PRIVATE_LAST;
  } else {
    // "ESC [ number ~", "ESC [ letter", "ESC [ 1 ; mods letter".
    if (f.count > 2 || f.subs[0] > 1 || (f.count == 2 && f.subs[1] > 2)) return false;
    const uint32_t number = f.count > 0 ? f.value[0][0] : 0;
    if (final != '~' && number > 1) return false;
    const KeySequence* seq = find_key_sequence('[', final == '~' ? number : 0, final, KITTY);
    if (seq == nullptr) return false;
    k = key_press(seq->vk, seq->scan, 0, seq->state);
  }
  const uint32_t mods = f.count > 1 ? f.value[1][0] : 1;
  const uint32_t event = f.count > 1 && f.subs[1] > 1 ? f.value[1][1] : 1;
  if (event < 1 || event > 3) return false;
  const bool down = event != 3;
  const uint32_t state = control_state(s, mods, k, down);

  if (typed) {
    // A character key: its place on a US keyboard from the base-layout key
    // (or the code), its character from the text, else as the console makes
    // it of the key and the modifiers.
    const uint32_t base = f.subs[0] > 2 && f.value[0][2] != 0 ? f.value[0][2] : code;
    if (base < 0x80) {
      const KeyEventRecord us = key_event_for_char(static_cast<uint8_t>(base));
      k.virtual_key = us.virtual_key;
      k.scan_code = us.scan_code;
    }
    const bool has_text = f.count > 2 && f.value[2][0] != 0;
    if (has_text) {
      k.ch = cp1252_or_zero(f.value[2][0]);
    } else if ((state & KeyState::CTRL_HELD) && !(state & KeyState::ALT_HELD)) {
      k.ch = control_byte_of_key(base);
    } else {
      const uint32_t shifted = f.subs[0] > 1 ? f.value[0][1] : 0;
      k.ch = cp1252_or_zero((state & KeyState::SHIFT) && shifted != 0 ? shifted : code);
    }
    // A character the code page lacks, on a key a US keyboard lacks, is
    // no key at all: as typed text, it is dropped.
    if (k.virtual_key != 0 || k.ch != 0) keys->push_back(key_event(k, state, down));
    // Further characters of the text (a composed sequence) follow as keys
    // without a place on the keyboard.
    if (has_text && down) {
      for (int i = 1; i < f.subs[2]; ++i) {
        const uint8_t ch = cp1252_or_zero(f.value[2][i]);
        if (ch != 0) keys->push_back(key_press(0, 0, ch, 0));
      }
    }
    return true;
  }
  if (k.virtual_key == VKEY_RETURN && (state & KeyState::CTRL_HELD)) k.ch = 10;
  if (k.virtual_key == VKEY_BACK && (state & KeyState::CTRL_HELD)) k.ch = 127;
  keys->push_back(key_event(k, state, down));
  return true;
}

int kitty_flags_answer(const char* params, size_t count, char final) {
  if (final != 'u' || count < 2 || count > 6 || params[0] != '?') return -1;
  CsiParams f;
  if (!parse_csi_params(params + 1, count - 1, &f) || f.count != 1 || f.subs[0] != 1) return -1;
  return static_cast<int>(f.value[0][0]);
}

}  // namespace zw
