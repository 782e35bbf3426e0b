#include "platform/posix/terminal_keys.h"

#include "platform/posix/key_forms.h"
#include "platform/posix/key_sequences.h"
#include "platform/posix/terminal_sequences.h"
#include "platform/us_layout.h"

namespace zw {

using Keys = std::vector<KeyEventRecord>;
using State = KeyDecoder::State;

uint32_t alt_state(bool alt) { return alt ? uint32_t{KeyState::LEFT_ALT} : 0u; }

KeyEventRecord escape_key() { return key_event_for_char(ESC); }

// The terminal does not report the release of such a key: with the kitty
// protocol on, it is added at once.
void emit_key(const KeyDecoder& d, Keys* keys, const KeyEventRecord& k) {
  keys->push_back(k);
  if (!d.kitty) return;
  keys->push_back(k);
  keys->back().key_down = false;
}

void emit_row(const KeyDecoder& d, Keys* keys, const KeySequence& s, uint32_t state) {
  emit_key(d, keys, key_press(s.vk, s.scan, s.ch, s.state | state));
}

void decoder_to_ground(KeyDecoder& d) {
  d.state = State::GROUND;
  d.alt = false;
  d.params_len = 0;
  d.utf8 = Utf8Reader{};
  d.mouse_values_left = 0;
  d.mouse_value_tail = false;
}

namespace {

// The key of a byte of the code page, with `state` held besides what it
// needs itself: its US-layout key when it has one.
KeyEventRecord char_key(uint8_t ch, uint32_t state) {
  KeyEventRecord k = ch < 0x20 || ch == 0x7F ? key_event_for_control(ch) : key_event_for_char(ch);
  k.control_state |= state;
  return k;
}


// ---- Bytes, one state at a time -------------------------------------------
// Each takes one byte in its state; false when the byte ended what was
// collected without belonging to it, and is to be decoded afresh.

// A byte that starts nothing: a character (with Alt after an Escape), or
// the lead byte of a UTF-8 one.
void decode_plain(KeyDecoder& d, uint8_t b, Keys* keys) {
  const bool alt = d.alt;
  decoder_to_ground(d);
  if (b < 0x80) {
    emit_key(d, keys, char_key(b, alt_state(alt)));
    return;
  }
  if (d.mode == TextMode::SINGLE_BYTE) {
    emit_key(d, keys, key_press(0, 0, b, alt_state(alt)));
    return;
  }
  // Anything but a lead byte cannot start a character: in UTF-8 it is
  // dropped, and where the encoding is not known it is one of its own.
  if (!utf8_begin(d.utf8, b)) {
    if (d.mode == TextMode::ASCII) emit_key(d, keys, key_press(0, 0, b, alt_state(alt)));
    return;
  }
  d.alt = alt;
  d.state = State::UTF8;
}

// Where the encoding is not known, the bytes of a UTF-8 character that did
// not come whole (`extra` the one that broke it, 0 for none): each a
// character of its own.
void emit_utf8_bytes(KeyDecoder& d, bool alt, uint8_t extra, Keys* keys) {
  if (d.mode != TextMode::ASCII) return;
  for (int i = 0; i < d.utf8.taken; ++i) emit_key(d, keys, key_press(0, 0, d.utf8.bytes[i], alt_state(alt && i == 0)));
  if (extra != 0) emit_key(d, keys, key_press(0, 0, extra, 0));
}

bool decode_ground(KeyDecoder& d, uint8_t b, Keys* keys) {
  if (b == ESC) {
    d.state = State::ESCAPE;
    d.alt = false;
    return true;
  }
  decode_plain(d, b, keys);
  return true;
}

bool decode_escape(KeyDecoder& d, uint8_t b, Keys* keys) {
  if (b == '[' || b == 'O') {
    // A second Escape before a sequence is Alt.
    d.state = b == '[' ? State::CSI : State::SS3;
    d.params_len = 0;
    return true;
  }
  // Escape, Escape, something else: the first was the Escape key.
  if (d.alt) emit_key(d, keys, escape_key());
  d.alt = true;
  if (b == ESC) return true;
  if (b == '\t' && d.dialect == KeyDialect::LINUX) {
    decoder_to_ground(d);
    emit_key(d, keys, key_press(VKEY_TAB, SCAN_TAB, 9, KeyState::SHIFT));
    return true;
  }
  decode_plain(d, b, keys);
  return true;
}

// CSI and SS3: parameter bytes, then the final byte.
bool decode_sequence(KeyDecoder& d, uint8_t b, Keys* keys) {
  const bool csi = d.state == State::CSI;
  if (csi && d.params_len == 0 && b == '[') {
    d.state = State::CSI_LINUX;
    return true;
  }
  if (b >= 0x20 && b <= 0x3F && b != '$') {
    if (d.params_len == KEY_SEQUENCE_MAX) {
      d.state = State::DISCARD;
      return true;
    }
    d.params[d.params_len++] = static_cast<char>(b);
    return true;
  }
  if (csi && d.params_len == 0 && b == 'M') {
    // An X10 or normal mouse report: three raw values follow, which would
    // otherwise be typed as characters.
    d.state = State::MOUSE_X10;
    d.mouse_values_left = 3;
    d.mouse_value_tail = false;
    return true;
  }
  if ((b >= 0x40 && b <= 0x7E) || b == '$') {
    dispatch_sequence(d, csi ? '[' : 'O', static_cast<char>(b), keys);
    return true;
  }
  // A byte that cannot be part of the sequence: what came so far is
  // dropped.
  decoder_to_ground(d);
  return false;
}

// The Linux console's "ESC [ [ final".
bool decode_linux_function(KeyDecoder& d, uint8_t b, Keys* keys) {
  if (b >= 0x40 && b <= 0x7E) {
    dispatch_sequence(d, 'L', static_cast<char>(b), keys);
    return true;
  }
  decoder_to_ground(d);
  return false;
}

// A sequence too long to be a key, up to its final byte; a device
// attributes answer may be as long.
bool decode_discard(KeyDecoder& d, uint8_t b, Keys* keys) {
  if (b >= 0x40 && b <= 0x7E) {
    const bool alt = d.alt;
    const char first = d.params[0];
    decoder_to_ground(d);
    take_attributes_answer(d, static_cast<char>(b), first, alt, keys);
    return true;
  }
  if (b >= 0x20 && b <= 0x3F) return true;
  decoder_to_ground(d);
  return false;
}

// A continuation byte of a UTF-8 character.
bool decode_utf8_continuation(KeyDecoder& d, uint8_t b, Keys* keys) {
  const Utf8Step step = utf8_continue(d.utf8, b);
  if (step == Utf8Step::MORE) return true;
  const bool alt = d.alt;
  const int byte = unicode_to_cp1252(d.utf8.code_point);
  if (step != Utf8Step::CHARACTER) emit_utf8_bytes(d, alt, step == Utf8Step::INVALID ? b : 0, keys);
  decoder_to_ground(d);
  if (step == Utf8Step::NOT_CONTINUATION) return false;
  if (step == Utf8Step::CHARACTER && byte >= 0x80) emit_key(d, keys, key_press(0, 0, static_cast<uint8_t>(byte), alt_state(alt)));
  return true;
}

// The values of an X10 mouse report, skipped: each one byte of 32 or more,
// or in UTF-8 mode a two-byte character for the values above 95 (mode
// 1005).
bool decode_mouse_value(KeyDecoder& d, uint8_t b) {
  if (d.mouse_value_tail && b >= 0x80 && b <= 0xBF) {
    d.mouse_value_tail = false;
    if (d.mouse_values_left == 0) decoder_to_ground(d);
    return true;
  }
  d.mouse_value_tail = false;
  if (d.mouse_values_left == 0 || b < 0x20 || b == 0x7F) {
    decoder_to_ground(d);
    return false;
  }
  --d.mouse_values_left;
  if (d.mode == TextMode::UTF8 && b >= 0xC2 && b <= 0xDF) d.mouse_value_tail = true;
  if (d.mouse_values_left == 0 && !d.mouse_value_tail) decoder_to_ground(d);
  return true;
}

bool decode_in_state(KeyDecoder& d, uint8_t b, Keys* keys) {
  switch (d.state) {
    case State::GROUND: return decode_ground(d, b, keys);
    case State::ESCAPE: return decode_escape(d, b, keys);
    case State::CSI:
    case State::SS3: return decode_sequence(d, b, keys);
    case State::CSI_LINUX: return decode_linux_function(d, b, keys);
    case State::DISCARD: return decode_discard(d, b, keys);
    case State::UTF8: return decode_utf8_continuation(d, b, keys);
    case State::MOUSE_X10: return decode_mouse_value(d, b);
  }
  return true;
}

}  // namespace

void reset_key_decoder(KeyDecoder& d, TextMode mode, KeyDialect dialect) {
  d = KeyDecoder{};
  d.mode = mode;
  d.dialect = dialect;
}

void decode_key_bytes(KeyDecoder& d, const char* bytes, size_t count, Keys* keys) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = static_cast<uint8_t>(bytes[i]);
    while (!decode_in_state(d, b, keys)) {
    }
  }
}

void decode_key_deadline(KeyDecoder& d, Keys* keys) {
  const bool alt = d.alt;
  switch (d.state) {
    case State::ESCAPE:
      emit_key(d, keys, escape_key());
      if (alt) emit_key(d, keys, escape_key());
      break;
    case State::CSI:
    case State::SS3:
      // Escape and "[" or "O" with nothing after it were typed as Alt+key.
      if (d.params_len == 0) {
        if (alt) emit_key(d, keys, escape_key());
        emit_key(d, keys, char_key(d.state == State::CSI ? '[' : 'O', KeyState::LEFT_ALT));
      }
      break;
    case State::UTF8:
      emit_utf8_bytes(d, alt, 0, keys);
      break;
    case State::MOUSE_X10:
      // Nothing came after "ESC [ M": no mouse report, but a key where the
      // dialect has one (st's Ctrl+Delete).
      if (d.mouse_values_left == 3) {
        if (const KeySequence* s = find_key_sequence('[', 0, 'M', CUT, d.dialect)) emit_row(d, keys, *s, alt_state(alt));
      }
      break;
    default:
      break;
  }
  decoder_to_ground(d);
}

bool key_decoder_pending(const KeyDecoder& d) { return d.state != State::GROUND; }

bool key_decoder_awaits_deadline(const KeyDecoder& d) { return !d.kitty && key_decoder_pending(d); }

bool key_decoder_continues(const KeyDecoder& d, uint8_t b) {
  switch (d.state) {
    case State::GROUND: return true;
    case State::ESCAPE: return b == '[' || b == 'O';
    case State::UTF8: return (b & 0xC0) == 0x80;
    default: return b >= 0x20 && b <= 0x7E;
  }
}

}  // namespace zw
