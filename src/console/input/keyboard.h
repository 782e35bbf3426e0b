// Keyboard: console key events become key codes through a fixed
// translation, wait in a ring of 512 slots and are handed out as codes (to
// the line editor) or as texts (to the calculator).
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "platform/us_layout.h"

namespace zw {

struct Console;

using KeyCode = int32_t;
constexpr KeyCode NO_KEY = -1;
constexpr int KEY_QUEUE_SLOTS = 512;
// Alt+F4: what closing the console queues.
constexpr KeyCode CLOSE_KEY = 0x6BFF;

constexpr KeyCode extended_key(int n) { return n * 256 + 255; }

// Keys by name: characters, and the gray keys, whose extended numbers are
// their scan codes.
constexpr KeyCode KEY_BACKSPACE = 8;
constexpr KeyCode KEY_TAB = 9;
constexpr KeyCode KEY_CTRL_ENTER = 10;
constexpr KeyCode KEY_ENTER = 13;
constexpr KeyCode KEY_ESCAPE = 27;
constexpr KeyCode KEY_HOME = extended_key(SCAN_HOME);
constexpr KeyCode KEY_UP = extended_key(SCAN_UP);
constexpr KeyCode KEY_LEFT = extended_key(SCAN_LEFT);
constexpr KeyCode KEY_RIGHT = extended_key(SCAN_RIGHT);
constexpr KeyCode KEY_END = extended_key(SCAN_END);
constexpr KeyCode KEY_DOWN = extended_key(SCAN_DOWN);
constexpr KeyCode KEY_DELETE = extended_key(SCAN_DELETE);

struct KeyQueue {
  KeyCode slots[KEY_QUEUE_SLOTS] = {};
  int32_t read = 0;
  int32_t write = 0;
  uint32_t alt_numpad_value = 0;
  // Close keys handed over by the control handler, queued by the next pump.
  std::atomic<uint32_t> handover{0};
};

void reset_key_queue(KeyQueue& q);
// Adds a code at the write end; a full queue drops its oldest code.
void queue_key(KeyQueue& q, KeyCode code);
// A key as the text the keyboard hands it out as, a value of the caller's:
// one byte for a character, 0xFF and n for an extended key, none for no key.
struct KeyText {
  char bytes[2] = {};
  uint8_t length = 0;
  std::string_view view() const { return {bytes, length}; }
  operator std::string_view() const { return view(); }
  friend bool operator==(const KeyText& a, std::string_view b) { return a.view() == b; }
};

KeyText key_text(KeyCode code);
// Character byte, scan code, control-key state -> code or NO_KEY.
// `map_vk_char` is the port's unshifted character of the event's virtual key
// (only its low 16 bits count); case is swapped under the LC_CTYPE locale.
KeyCode translate_key_event(uint8_t ch, uint16_t sc, uint32_t ks, unsigned map_vk_char);

// Hands over the control handler's close keys, then moves every pending
// console input event through the translation into the queue.
void pump_console_input(Console& con);
// Takes the oldest queued key into `code`; false when there is none. Never
// waits.
bool take_key(Console& con, KeyCode* code);
// The oldest queued key as text (key_text), or the empty text; never waits.
inline KeyText poll_key(Console& con) {
  KeyCode code;
  return take_key(con, &code) ? key_text(code) : KeyText{};
}
bool key_waiting(Console& con);

}  // namespace zw
