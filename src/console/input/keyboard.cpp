#include "console/input/keyboard.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "console/console_binding.h"
#include "console/console.h"
#include "console/input/keyboard_tables.h"

namespace zw {

namespace {


KeyColumn modifier_column(uint32_t ks) {
  if (ks & KeyState::ALT_HELD) return COL_ALT;
  if (ks & KeyState::CTRL_HELD) return COL_CTRL;
  if (ks & KeyState::SHIFT) return COL_SHIFT;
  return COL_NONE;
}

// The character-type functions take only unsigned char values (and EOF); a
// key character beyond one byte can never equal an event's character, so it
// is left as it is rather than narrowed onto some other byte.
unsigned swap_case(unsigned u) {
  if (u > UCHAR_MAX) return u;
  const int c = static_cast<int>(u);
  if (std::isupper(c)) return static_cast<unsigned char>(std::tolower(c));
  if (std::islower(c)) return static_cast<unsigned char>(std::toupper(c));
  return u;
}

KeyCode char_or_none(uint8_t ch) { return ch != 0 ? KeyCode{ch} : NO_KEY; }

// Entering a character by its decimal number: Alt alone held while keypad
// digits go down. The entry ends at the first other event: one that yields
// a key drops it (only that key is queued), one that yields nothing with
// Alt no longer held alone (the Alt key coming up) queues the entered
// character. Alt-only events without a key leave the entry going.
void alt_numpad_step(KeyQueue& q, bool key_down, KeyCode r, uint16_t vk, uint32_t ks) {
  const bool alt_alone = (ks & (KeyState::CTRL_HELD | KeyState::SHIFT)) == 0 && (ks & KeyState::ALT_HELD) != 0;
  if (alt_alone) {
    if (vk >= VKEY_NUMPAD0 && vk <= VKEY_NUMPAD9) {
      if (key_down) q.alt_numpad_value = q.alt_numpad_value * 10 + (vk - VKEY_NUMPAD0);
      if (r != NO_KEY) queue_key(q, r);
    } else if (r != NO_KEY) {
      q.alt_numpad_value = 0;
      queue_key(q, r);
    }
    return;
  }
  if (r != NO_KEY) {
    q.alt_numpad_value = 0;
    queue_key(q, r);
  } else if (q.alt_numpad_value != 0) {
    queue_key(q, static_cast<KeyCode>(q.alt_numpad_value % 256));
    q.alt_numpad_value = 0;
  }
}

// A key-down event is translated once whatever its repeat count (merged
// repeats give one code); a count of 0 drops it. A key-up event yields no
// key but may still finish an Alt+keypad entry.
void key_step(Console& con, const KeyEventRecord& k) {
  KeyCode r = NO_KEY;
  if (k.key_down) {
    if (k.repeat_count == 0) return;
    r = translate_key_event(k.ch, k.scan_code, k.control_state,
                            con.port->map_virtual_key_char(k.virtual_key));
  }
  alt_numpad_step(con.keys, k.key_down, r, k.virtual_key, k.control_state);
}

// Close keys that the control handler counted since the last pump. Only the
// count crosses threads; the ring itself is touched by this thread alone.
void drain_handover(KeyQueue& q) {
  if (q.handover.load(std::memory_order_relaxed) == 0) return;
  uint32_t n = q.handover.exchange(0);
  // More than a full ring of close keys leaves the same ring as a full one.
  n = std::min<uint32_t>(n, KEY_QUEUE_SLOTS);
  while (n-- > 0) queue_key(q, CLOSE_KEY);
}

bool dequeue_key(KeyQueue& q, KeyCode* code) {
  if (q.read == q.write) return false;
  *code = q.slots[q.read];
  q.read = (q.read + 1) % KEY_QUEUE_SLOTS;
  return true;
}

}  // namespace

void reset_key_queue(KeyQueue& q) {
  std::fill(std::begin(q.slots), std::end(q.slots), 0);
  q.read = 0;
  q.write = 0;
  q.alt_numpad_value = 0;
  q.handover.store(0);
}

void queue_key(KeyQueue& q, KeyCode code) {
  q.slots[q.write] = code;
  q.write = (q.write + 1) % KEY_QUEUE_SLOTS;
  if (q.write == q.read) q.read = (q.read + 1) % KEY_QUEUE_SLOTS;
}

KeyText key_text(KeyCode code) {
  if (code >= 0 && code <= 255) return KeyText{{static_cast<char>(code), 0}, 1};
  return KeyText{{static_cast<char>(0xFF), static_cast<char>((code >> 8) & 0xFF)}, 2};
}

// Alt, Ctrl and Shift combinations give an extended code only when the
// console reports the key's own character (either case) or, for a key that
// has none, no character at all; anything else the console made of the
// combination (AltGr characters, Ctrl+Enter as 10) is kept as typed.
KeyCode translate_key_event(uint8_t ch, uint16_t sc, uint32_t ks, unsigned map_vk_char) {
  const KeyColumn col = modifier_column(ks);
  if ((ks & KeyState::ENHANCED) && ch == 0) {
    for (const EnhancedKeyRow& row : EnhancedKeyTable)
      if (row.sc == sc) return row.code[col];
    return NO_KEY;
  }
  if (sc >= SCAN_KEY_ROWS) return char_or_none(ch);
  if (col == COL_NONE && ch != 0) return ch;
  const unsigned u = map_vk_char & 0xFFFF;
  const unsigned n = ScanKeyTable[sc].ext[col];
  if (n != 0 && (ch == u || ch == swap_case(u))) return extended_key(static_cast<int>(n));
  return char_or_none(ch);
}

void pump_console_input(Console& con) {
  install_ctrl_handler(con);
  drain_handover(con.keys);
  // A redirected standard input brings no console events.
  if (con.handles.input_redirected) return;
  bind_console_handles(con);
  for (;;) {
    InputRecord rec;
    int count = 0;
    if (!con.port->peek_input(&rec, &count) || count == 0) return;
    count = 0;
    // A read that fills no record ends the pump before the record is used.
    if (!con.port->read_input(&rec, &count) || count == 0) return;
    if (rec.type == InputEventKind::KEY) key_step(con, rec.key);
  }
}

bool take_key(Console& con, KeyCode* code) {
  pump_console_input(con);
  return dequeue_key(con.keys, code);
}

bool key_waiting(Console& con) {
  pump_console_input(con);
  return con.keys.read != con.keys.write;
}

}  // namespace zw
