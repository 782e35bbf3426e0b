#include "platform/posix/terminal_keys.h"

#include <cstring>

#include "platform/posix/key_sequences.h"
#include "platform/us_layout.h"

namespace zw {

namespace {

constexpr uint8_t ESC = 0x1B;

// "ESC [ n ~" for F13..F20 of a VT220 keyboard: Shift with a function key,
// F1..F8 (the Linux console, xterm's VT220 keyboard) or F3..F10 (rxvt).
struct ShiftedFunctionKey {
  uint8_t number;
  uint8_t common;  // function key index, 0 for F1
  uint8_t rxvt;
};

constexpr ShiftedFunctionKey SHIFTED_FUNCTION_KEYS[] = {
    // number common rxvt
    {25, 0, 2}, {26, 1, 3}, {28, 2, 4}, {29, 3, 5},
    {31, 4, 6}, {32, 5, 7}, {33, 6, 8}, {34, 7, 9},
};
static_assert(sizeof SHIFTED_FUNCTION_KEYS / sizeof SHIFTED_FUNCTION_KEYS[0] == 8);

// st's editing keys with the keypad in normal mode: "ESC [ number final",
// the editing command each stands for. Ctrl+Delete, "ESC [ M", looks like
// the start of a mouse report and is settled by the deadline
// (decode_key_deadline).
struct StEditingKey {
  uint8_t number;
  char final;
  uint16_t vk;
  uint8_t scan;
  uint32_t state;
};

constexpr StEditingKey ST_EDITING_KEYS[] = {
    {0, 'P', VKEY_DELETE, SCAN_DELETE, 0},
    {2, 'K', VKEY_DELETE, SCAN_DELETE, KeyState::SHIFT},
    {4, 'h', VKEY_INSERT, SCAN_INSERT, 0},
    {4, 'l', VKEY_INSERT, SCAN_INSERT, KeyState::SHIFT},
    {0, 'L', VKEY_INSERT, SCAN_INSERT, KeyState::LEFT_CTRL},
    {2, 'J', VKEY_HOME, SCAN_HOME, KeyState::SHIFT},
    {0, 'K', VKEY_END, SCAN_END, KeyState::SHIFT},
    {0, 'J', VKEY_END, SCAN_END, KeyState::LEFT_CTRL},
};

// Modifier parameter of xterm's "ESC [ 1 ; m X" forms: m - 1 is a bit set
// of Shift 1, Alt 2, Ctrl 4, Meta 8 (taken as Alt), Caps Lock 64, Num Lock
// 128.
uint32_t modifier_state(int m) {
  if (m < 2) return 0;
  const int bits = m - 1;
  uint32_t state = 0;
  if (bits & 1) state |= KeyState::SHIFT;
  if (bits & (2 | 8)) state |= KeyState::LEFT_ALT;
  if (bits & 4) state |= KeyState::LEFT_CTRL;
  if (bits & 64) state |= KeyState::CAPS_LOCK;
  if (bits & 128) state |= KeyState::NUM_LOCK;
  return state;
}

// The function key with index `i` (0 for F1).
KeyEventRecord function_key(int i, uint32_t state) {
  return key_press(static_cast<uint16_t>(VKEY_F1 + i), function_key_scan(i), 0, state);
}

uint32_t alt_state(bool alt) { return alt ? uint32_t{KeyState::LEFT_ALT} : 0u; }

// The key of a control byte as a US keyboard types it: Enter 13, Ctrl+Enter
// 10, Tab 9, Backspace 127 or 8, Escape 27, Ctrl+letter 1..26, and the
// Ctrl+punctuation bytes 0 and 28..31.
KeyEventRecord control_key(uint8_t byte, bool alt) {
  const uint32_t a = alt_state(alt);
  switch (byte) {
    case 13: return key_press(VKEY_RETURN, SCAN_RETURN, 13, a);
    case 10: return key_press(VKEY_RETURN, SCAN_RETURN, 10, a | KeyState::LEFT_CTRL);
    case 9: return key_press(VKEY_TAB, SCAN_TAB, 9, a);
    case 8:
    case 127: return key_press(VKEY_BACK, SCAN_BACK, 8, a);
    case ESC: return key_press(VKEY_ESCAPE, SCAN_ESCAPE, ESC, a);
    case 0: return key_press('2', 0x03, 0, a | KeyState::LEFT_CTRL | KeyState::SHIFT);
    case 28: return key_press(VKEY_OEM_5, 0x2B, 28, a | KeyState::LEFT_CTRL);
    case 29: return key_press(VKEY_OEM_6, 0x1B, 29, a | KeyState::LEFT_CTRL);
    case 30: return key_press('6', 0x07, 30, a | KeyState::LEFT_CTRL | KeyState::SHIFT);
    case 31: return key_press(VKEY_OEM_MINUS, 0x0C, 31, a | KeyState::LEFT_CTRL | KeyState::SHIFT);
    default: {
      // Ctrl+A..Ctrl+Z: the letter's key.
      KeyEventRecord k = key_event_for_char(static_cast<uint8_t>('a' + byte - 1));
      return key_press(k.virtual_key, k.scan_code, byte, a | KeyState::LEFT_CTRL);
    }
  }
}

// A character of the code page: its US-layout key when it has one.
KeyEventRecord char_key(uint8_t ch, bool alt) {
  if (ch < 0x20 || ch == 0x7F) return control_key(ch, alt);
  KeyEventRecord k = key_event_for_char(ch);
  k.control_state |= alt_state(alt);
  return k;
}

// A key decoded from plain bytes or a classic sequence: its press, and
// with the kitty protocol on its release too, which the terminal does not
// report for it.
void emit(const KeyDecoder& d, std::vector<KeyEventRecord>* keys, const KeyEventRecord& k) {
  keys->push_back(k);
  if (!d.kitty) return;
  keys->push_back(k);
  keys->back().key_down = false;
}

void to_ground(KeyDecoder& d) {
  d.state = KeyDecoder::State::GROUND;
  d.alt = false;
  d.params_len = 0;
  d.utf8_need = 0;
  d.utf8_len = 0;
  d.code_point = 0;
  d.mouse_values_left = 0;
  d.mouse_value_tail = false;
}

// The parameters of a sequence as plain numbers, "1;5"; false for
// sub-parameters or a number above 9999.
bool parse_numbers(const KeyDecoder& d, int* values, int* count) {
  CsiParams f;
  *count = 0;
  if (!parse_csi_params(d.params, static_cast<size_t>(d.params_len), &f)) return false;
  for (int i = 0; i < f.count; ++i) {
    if (f.subs[i] != 1 || f.value[i][0] > 9999) return false;
    values[i] = static_cast<int>(f.value[i][0]);
  }
  *count = f.count;
  return true;
}

// Looks up a complete sequence and emits its key; unknown ones vanish.
void dispatch(KeyDecoder& d, char kind, char final, std::vector<KeyEventRecord>* keys) {
  int p[4] = {};
  int n = 0;
  const bool alt = d.alt;
  const int params_len = d.params_len;
  const bool ok = parse_numbers(d, p, &n);
  to_ground(d);

  if (ok && kind == '[' && final == 'R' && n == 2 && d.report_expected) {
    // An Escape typed just before the report looks like its Alt prefix.
    if (alt) emit(d, keys, control_key(ESC, false));
    d.report_expected = false;
    d.report_received = true;
    d.report_row = p[0];
    d.report_column = p[1];
    return;
  }
  if (kind == '[') {
    const int flags = kitty_flags_answer(d.params, static_cast<size_t>(params_len), final);
    if (flags >= 0) {
      d.kitty_flags = flags;
      return;
    }
    if (d.kitty) {
      // An Escape byte before a key report is no prefix: the protocol
      // reports Alt itself.
      const size_t before = keys->size();
      if (alt) emit(d, keys, control_key(ESC, false));
      if (decode_kitty_sequence(d.kitty_keys, d.params, static_cast<size_t>(params_len), final, keys)) return;
      keys->resize(before);
    }
  }
  if (!ok) return;

  if (d.dialect == KeyDialect::ST && kind == '[' && n <= 1) {
    const int number = n == 1 ? p[0] : 0;
    for (const StEditingKey& k : ST_EDITING_KEYS) {
      if (k.number != number || k.final != final) continue;
      emit(d, keys, key_press(k.vk, k.scan, 0, KeyState::ENHANCED | k.state | alt_state(alt)));
      return;
    }
  }

  uint8_t number = 0;
  int mod = 1;
  uint32_t extra = 0;
  if (kind == '[' && (final == '~' || final == '$' || final == '^' || final == '@')) {
    // "ESC [ n ; m ~"; rxvt marks Shift, Ctrl and both by the final byte.
    if (n < 1 || n > 2 || p[0] == 0) return;
    number = static_cast<uint8_t>(p[0] > 255 ? 0 : p[0]);
    if (n == 2) mod = p[1];
    if (final == '$') extra = KeyState::SHIFT;
    if (final == '^') extra = KeyState::LEFT_CTRL;
    if (final == '@') extra = KeyState::LEFT_CTRL | KeyState::SHIFT;
    final = '~';
  } else if (n == 1) {
    mod = p[0];  // "ESC O 5 P" and the like
  } else if (n == 2) {
    if (p[0] > 1) return;
    mod = p[1];
  } else if (n > 2) {
    return;
  }
  if (number == 0 && final == '~') return;

  const uint32_t state = extra | modifier_state(mod) | alt_state(alt);
  if (kind == '[' && final == '~') {
    for (const ShiftedFunctionKey& f : SHIFTED_FUNCTION_KEYS) {
      if (f.number != number) continue;
      emit(d, keys, function_key(d.dialect == KeyDialect::RXVT ? f.rxvt : f.common, state | KeyState::SHIFT));
      return;
    }
  }

  if (const KeySequence* s = find_key_sequence(kind, number, final, CLASSIC))
    emit(d, keys, key_press(s->vk, s->scan, s->ch, s->state | state));
}

// One byte in the ground state (or after Escape when `alt`).
void decode_plain(KeyDecoder& d, uint8_t b, std::vector<KeyEventRecord>* keys) {
  const bool alt = d.alt;
  if (b < 0x80 || d.mode == TextMode::SINGLE_BYTE) {
    to_ground(d);
    if (b < 0x80) {
      emit(d, keys, char_key(b, alt));
    } else {
      emit(d, keys, key_press(0, 0, b, alt_state(alt)));
    }
    return;
  }
  // A UTF-8 lead byte; anything else cannot start a character.
  to_ground(d);
  if (b >= 0xC2 && b <= 0xDF) {
    d.utf8_need = 1;
    d.code_point = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    d.utf8_need = 2;
    d.code_point = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    d.utf8_need = 3;
    d.code_point = b & 0x07;
  } else {
    return;
  }
  d.utf8_len = 1;
  d.alt = alt;
  d.state = KeyDecoder::State::UTF8;
}

// A continuation byte; false when `b` is none (the character is dropped and
// the byte must be decoded afresh).
bool decode_utf8_continuation(KeyDecoder& d, uint8_t b, std::vector<KeyEventRecord>* keys) {
  if ((b & 0xC0) != 0x80) {
    to_ground(d);
    return false;
  }
  // Overlong three- and four-byte forms, surrogates and values above
  // U+10FFFF show in the second byte.
  if (d.utf8_len == 1) {
    const uint32_t lead = d.code_point;
    if ((d.utf8_need == 2 && lead == 0 && b < 0xA0) || (d.utf8_need == 2 && lead == 0x0D && b >= 0xA0) ||
        (d.utf8_need == 3 && lead == 0 && b < 0x90) || (d.utf8_need == 3 && lead == 4 && b >= 0x90)) {
      to_ground(d);
      return true;
    }
  }
  d.code_point = (d.code_point << 6) | (b & 0x3F);
  ++d.utf8_len;
  if (--d.utf8_need > 0) return true;
  const bool alt = d.alt;
  const int byte = unicode_to_cp1252(d.code_point);
  to_ground(d);
  if (byte >= 0x80) emit(d, keys, key_press(0, 0, static_cast<uint8_t>(byte), alt_state(alt)));
  return true;
}

void decode_byte(KeyDecoder& d, uint8_t b, std::vector<KeyEventRecord>* keys) {
  using State = KeyDecoder::State;
  for (;;) {
    switch (d.state) {
      case State::GROUND:
        if (b == ESC) {
          d.state = State::ESCAPE;
          d.alt = false;
          return;
        }
        decode_plain(d, b, keys);
        return;

      case State::ESCAPE:
        if (b == '[' || b == 'O') {
          // A second Escape before a sequence is Alt.
          d.state = b == '[' ? State::CSI : State::SS3;
          d.params_len = 0;
          return;
        }
        // Escape, Escape, something else: the first was the Escape key.
        if (d.alt) emit(d, keys, control_key(ESC, false));
        d.alt = true;
        if (b == ESC) return;
        if (b == '\t' && d.dialect == KeyDialect::LINUX) {
          to_ground(d);
          emit(d, keys, key_press(VKEY_TAB, SCAN_TAB, 9, KeyState::SHIFT));
          return;
        }
        decode_plain(d, b, keys);
        return;

      case State::CSI:
      case State::SS3:
        if (d.state == State::CSI && d.params_len == 0 && b == '[') {
          d.state = State::CSI_LINUX;
          return;
        }
        if (b >= 0x20 && b <= 0x3F && b != '$') {
          if (d.params_len == KEY_SEQUENCE_MAX) {
            d.state = State::DISCARD;
            return;
          }
          d.params[d.params_len++] = static_cast<char>(b);
          return;
        }
        if (d.state == State::CSI && d.params_len == 0 && b == 'M') {
          // An X10 or normal mouse report: three raw values follow, which
          // would otherwise be typed as characters.
          d.state = State::MOUSE_X10;
          d.mouse_values_left = 3;
          d.mouse_value_tail = false;
          return;
        }
        if ((b >= 0x40 && b <= 0x7E) || b == '$') {
          dispatch(d, d.state == State::CSI ? '[' : 'O', static_cast<char>(b), keys);
          return;
        }
        // A byte that cannot be part of the sequence: drop what came so far
        // and decode the byte afresh.
        to_ground(d);
        continue;

      case State::CSI_LINUX:
        if (b >= 0x40 && b <= 0x7E) {
          dispatch(d, 'L', static_cast<char>(b), keys);
          return;
        }
        to_ground(d);
        continue;

      case State::DISCARD:
        if (b >= 0x40 && b <= 0x7E) {
          to_ground(d);
          return;
        }
        if (b >= 0x20 && b <= 0x3F) return;
        to_ground(d);
        continue;

      case State::UTF8:
        if (decode_utf8_continuation(d, b, keys)) return;
        continue;

      case State::MOUSE_X10:
        // Each value is one byte of 32 or more, or in UTF-8 mode a two-byte
        // character for the values above 95 (mode 1005).
        if (d.mouse_value_tail && b >= 0x80 && b <= 0xBF) {
          d.mouse_value_tail = false;
          if (d.mouse_values_left == 0) to_ground(d);
          return;
        }
        d.mouse_value_tail = false;
        if (d.mouse_values_left == 0 || b < 0x20 || b == 0x7F) {
          to_ground(d);
          continue;
        }
        --d.mouse_values_left;
        if (d.mode == TextMode::UTF8 && b >= 0xC2 && b <= 0xDF) d.mouse_value_tail = true;
        if (d.mouse_values_left == 0 && !d.mouse_value_tail) to_ground(d);
        return;
    }
  }
}

}  // namespace

KeyDialect key_dialect_of(const char* term) {
  if (term == nullptr) return KeyDialect::COMMON;
  if (std::strncmp(term, "linux", 5) == 0) return KeyDialect::LINUX;
  if (std::strncmp(term, "rxvt", 4) == 0) return KeyDialect::RXVT;
  // st and its other name, stterm, with a variant ("st-256color"); not the
  // Atari ST's st52.
  for (const char* st : {"st", "stterm"}) {
    const size_t n = std::strlen(st);
    if (std::strncmp(term, st, n) == 0 && (term[n] == 0 || term[n] == '-')) return KeyDialect::ST;
  }
  return KeyDialect::COMMON;
}

void reset_key_decoder(KeyDecoder& d, TextMode mode, KeyDialect dialect) {
  d = KeyDecoder{};
  d.mode = mode;
  d.dialect = dialect;
}

void decode_key_bytes(KeyDecoder& d, const char* bytes, size_t count, std::vector<KeyEventRecord>* keys) {
  for (size_t i = 0; i < count; ++i) decode_byte(d, static_cast<uint8_t>(bytes[i]), keys);
}

void decode_key_deadline(KeyDecoder& d, std::vector<KeyEventRecord>* keys) {
  using State = KeyDecoder::State;
  const bool alt = d.alt;
  switch (d.state) {
    case State::ESCAPE:
      emit(d, keys, control_key(ESC, false));
      if (alt) emit(d, keys, control_key(ESC, false));
      break;
    case State::CSI:
    case State::SS3:
      // Escape and "[" or "O" with nothing after it were typed as Alt+key.
      if (d.params_len == 0) {
        if (alt) emit(d, keys, control_key(ESC, false));
        emit(d, keys, char_key(d.state == State::CSI ? '[' : 'O', true));
      }
      break;
    case State::MOUSE_X10:
      // Nothing came after "ESC [ M": no mouse report but st's Ctrl+Delete.
      if (d.dialect == KeyDialect::ST && d.mouse_values_left == 3)
        emit(d, keys, key_press(VKEY_DELETE, SCAN_DELETE, 0, KeyState::ENHANCED | KeyState::LEFT_CTRL | alt_state(alt)));
      break;
    default:
      break;
  }
  to_ground(d);
}

bool key_decoder_pending(const KeyDecoder& d) { return d.state != KeyDecoder::State::GROUND; }

bool key_decoder_awaits_deadline(const KeyDecoder& d) { return !d.kitty && key_decoder_pending(d); }

}  // namespace zw
