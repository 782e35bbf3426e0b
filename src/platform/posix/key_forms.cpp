// The key decoder's complete sequences, one form at a time: what the port
// awaits (cursor reports, the device attributes, the kitty protocol's
// answer) or a key, from the rows of the one sequence table.
#include "platform/posix/key_forms.h"

#include "platform/posix/key_sequences.h"
#include "platform/posix/terminal_sequences.h"

namespace zw {

namespace {

using Keys = std::vector<KeyEventRecord>;

// The rows a whole sequence may be: its own (st's editing keys) and the
// ones read with modifiers.
constexpr KeyForms WHOLE_SEQUENCE = static_cast<KeyForms>(CLASSIC | WHOLE);

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

// A complete control sequence as the decoder collected it.
struct Sequence {
  char kind;  // '[' CSI, 'O' SS3, 'L' the Linux console's ESC [ [
  char final;
  bool alt;   // an Escape came before it
  const char* params;
  size_t params_len;
  // The parameters as plain numbers, "1;5": false for sub-parameters or a
  // number above 9999.
  bool numbers;
  int n;
  int p[CSI_FIELDS_MAX];
};

// The sequence collected so far, the decoder back in the ground state.
Sequence take_sequence(KeyDecoder& d, char kind, char final) {
  Sequence q{kind, final, d.alt, d.params, static_cast<size_t>(d.params_len), false, 0, {}};
  CsiParams f;
  q.numbers = parse_csi_params(q.params, q.params_len, &f);
  for (int i = 0; q.numbers && i < f.count; ++i) {
    q.numbers = f.subs[i] == 1 && f.value[i][0] <= 9999;
    q.p[i] = static_cast<int>(f.value[i][0]);
  }
  if (q.numbers) q.n = f.count;
  decoder_to_ground(d);
  return q;
}

// A cursor report the port awaits, "ESC [ row ; col R": no key. An Escape
// typed just before it looks like its Alt prefix.
bool take_cursor_report(KeyDecoder& d, const Sequence& q, Keys* keys) {
  if (!q.numbers || q.kind != '[' || q.final != 'R' || q.n != 2 || d.reports_expected == 0) return false;
  if (q.alt) emit_key(d, keys, escape_key());
  --d.reports_expected;
  if (d.reports_received < CURSOR_REPORTS_MAX) d.reports[d.reports_received] = {q.p[0], q.p[1]};
  ++d.reports_received;
  return true;
}

// The terminal's answer to the kitty protocol query: no key.
bool take_kitty_answer(KeyDecoder& d, const Sequence& q) {
  if (q.kind != '[') return false;
  const int flags = kitty_flags_answer(q.params, q.params_len, q.final);
  if (flags < 0) return false;
  d.kitty_flags = flags;
  return true;
}

// A kitty protocol key report, with the protocol on. An Escape byte before
// one is no prefix: the protocol reports Alt itself.
bool take_kitty_report(KeyDecoder& d, const Sequence& q, Keys* keys) {
  if (!d.kitty || q.kind != '[') return false;
  const size_t before = keys->size();
  if (q.alt) emit_key(d, keys, escape_key());
  if (decode_kitty_sequence(d.kitty_keys, q.params, q.params_len, q.final, keys)) return true;
  keys->resize(before);
  return false;
}

// A sequence with no more than one parameter that is a row as it stands,
// the parameter its number: "ESC [ A", "ESC [ 2 ~", st's "ESC [ 4 h".
bool take_whole_row(const KeyDecoder& d, const Sequence& q, Keys* keys) {
  if (q.n > 1) return false;
  const KeySequence* s = find_key_sequence(q.kind, q.n == 1 ? q.p[0] : 0, q.final, WHOLE_SEQUENCE, d.dialect);
  if (s == nullptr) return false;
  emit_row(d, keys, *s, alt_state(q.alt));
  return true;
}

// "ESC [ n ; m ~", where rxvt marks Shift, Ctrl and both by the final byte
// instead ($, ^, @). True for every sequence of the form, key or none.
bool take_numbered_key(const KeyDecoder& d, const Sequence& q, Keys* keys) {
  if (q.kind != '[') return false;
  uint32_t marked = 0;
  switch (q.final) {
    case '~': break;
    case '$': marked = KeyState::SHIFT; break;
    case '^': marked = KeyState::LEFT_CTRL; break;
    case '@': marked = KeyState::LEFT_CTRL | KeyState::SHIFT; break;
    default: return false;
  }
  if (q.n < 1 || q.n > 2 || q.p[0] == 0 || q.p[0] > 255) return true;
  const int mod = q.n == 2 ? q.p[1] : 1;
  if (const KeySequence* s = find_key_sequence('[', static_cast<uint32_t>(q.p[0]), '~', CLASSIC, d.dialect))
    emit_row(d, keys, *s, marked | modifier_state(mod) | alt_state(q.alt));
  return true;
}

// A letter form with modifiers: xterm's "ESC [ 1 ; m X", the older
// "ESC O m X".
void take_modified_letter(const KeyDecoder& d, const Sequence& q, Keys* keys) {
  int mod = 0;
  if (q.n == 1) {
    mod = q.p[0];
  } else if (q.n == 2 && q.p[0] <= 1) {
    mod = q.p[1];
  } else {
    return;
  }
  if (const KeySequence* s = find_key_sequence(q.kind, 0, q.final, CLASSIC, d.dialect))
    emit_row(d, keys, *s, modifier_state(mod) | alt_state(q.alt));
}

}  // namespace

bool take_attributes_answer(KeyDecoder& d, char final, char first, bool alt, std::vector<KeyEventRecord>* keys) {
  if (final != 'c' || first != '?') return false;
  if (alt) emit_key(d, keys, escape_key());
  if (d.attributes_expected) {
    d.attributes_expected = false;
    d.attributes_received = true;
    d.reports_expected = 0;
  }
  return true;
}

// A complete sequence: what the port awaits, or a key; unknown ones vanish.
void dispatch_sequence(KeyDecoder& d, char kind, char final, std::vector<KeyEventRecord>* keys) {
  const Sequence q = take_sequence(d, kind, final);
  const char first = q.params_len > 0 ? q.params[0] : 0;
  if (take_cursor_report(d, q, keys) || (kind == '[' && take_attributes_answer(d, final, first, q.alt, keys)) ||
      take_kitty_answer(d, q) || take_kitty_report(d, q, keys))
    return;
  if (!q.numbers || take_whole_row(d, q, keys) || take_numbered_key(d, q, keys)) return;
  take_modified_letter(d, q, keys);
}

}  // namespace zw
