// The US keyboard layout: virtual keys, scan codes and characters, for a
// platform that reports characters and not keys.
#pragma once

#include <cstdint>

#include "platform/console_port.h"

namespace zw {

// Virtual-key codes (the native console's values).
enum : uint16_t {
  VKEY_BACK = 0x08, VKEY_TAB = 0x09, VKEY_CLEAR = 0x0C, VKEY_RETURN = 0x0D,
  VKEY_SHIFT = 0x10, VKEY_CONTROL = 0x11, VKEY_MENU = 0x12, VKEY_PAUSE = 0x13,
  VKEY_CAPITAL = 0x14, VKEY_ESCAPE = 0x1B, VKEY_SPACE = 0x20, VKEY_PRIOR = 0x21,
  VKEY_NEXT = 0x22, VKEY_END = 0x23, VKEY_HOME = 0x24, VKEY_LEFT = 0x25,
  VKEY_UP = 0x26, VKEY_RIGHT = 0x27, VKEY_DOWN = 0x28, VKEY_SNAPSHOT = 0x2C,
  VKEY_INSERT = 0x2D, VKEY_DELETE = 0x2E, VKEY_LWIN = 0x5B, VKEY_RWIN = 0x5C,
  VKEY_APPS = 0x5D, VKEY_NUMPAD0 = 0x60, VKEY_NUMPAD9 = 0x69, VKEY_MULTIPLY = 0x6A,
  VKEY_ADD = 0x6B, VKEY_SEPARATOR = 0x6C, VKEY_SUBTRACT = 0x6D, VKEY_DECIMAL = 0x6E,
  VKEY_DIVIDE = 0x6F, VKEY_F1 = 0x70, VKEY_F12 = 0x7B, VKEY_F13 = 0x7C,
  VKEY_NUMLOCK = 0x90, VKEY_SCROLL = 0x91, VKEY_OEM_1 = 0xBA, VKEY_OEM_PLUS = 0xBB,
  VKEY_OEM_COMMA = 0xBC, VKEY_OEM_MINUS = 0xBD, VKEY_OEM_PERIOD = 0xBE, VKEY_OEM_2 = 0xBF,
  VKEY_OEM_3 = 0xC0, VKEY_OEM_4 = 0xDB, VKEY_OEM_5 = 0xDC, VKEY_OEM_6 = 0xDD,
  VKEY_OEM_7 = 0xDE, VKEY_OEM_102 = 0xE2,
};

// Scan codes of the keys other than the typing keys (whose scan codes are in
// the layout's table). Keys that share a scan code are told apart by
// KeyState::ENHANCED, set for the first of each pair: a gray key and the
// keypad key in its place, Print Screen and keypad *, Num Lock and Pause,
// the right and left Ctrl and Alt, keypad Enter and Enter, keypad / and /.
enum : uint8_t {
  SCAN_ESCAPE = 0x01, SCAN_BACK = 0x0E, SCAN_TAB = 0x0F, SCAN_RETURN = 0x1C,
  SCAN_CONTROL = 0x1D, SCAN_LSHIFT = 0x2A, SCAN_DIVIDE = 0x35, SCAN_RSHIFT = 0x36,
  SCAN_MULTIPLY = 0x37, SCAN_SNAPSHOT = 0x37, SCAN_MENU = 0x38, SCAN_SPACE = 0x39,
  SCAN_CAPITAL = 0x3A, SCAN_F1 = 0x3B, SCAN_NUMLOCK = 0x45, SCAN_PAUSE = 0x45,
  SCAN_SCROLL = 0x46, SCAN_HOME = 0x47, SCAN_UP = 0x48, SCAN_PRIOR = 0x49,
  SCAN_SUBTRACT = 0x4A, SCAN_LEFT = 0x4B, SCAN_CLEAR = 0x4C, SCAN_RIGHT = 0x4D,
  SCAN_ADD = 0x4E, SCAN_END = 0x4F, SCAN_DOWN = 0x50, SCAN_NEXT = 0x51,
  SCAN_INSERT = 0x52, SCAN_DELETE = 0x53, SCAN_F11 = 0x57, SCAN_F12 = 0x58,
  SCAN_LWIN = 0x5B, SCAN_RWIN = 0x5C, SCAN_APPS = 0x5D,
};

// The keypad digits 0..9 are the keys of the navigation block below them;
// Num Lock chooses.
constexpr uint8_t KEYPAD_SCANS[10] = {SCAN_INSERT, SCAN_END, SCAN_DOWN, SCAN_NEXT, SCAN_LEFT,
                                      SCAN_CLEAR,  SCAN_RIGHT, SCAN_HOME, SCAN_UP, SCAN_PRIOR};

// The scan code of function key `i` (0 for F1, up to 11 for F12).
constexpr uint8_t function_key_scan(int i) {
  return static_cast<uint8_t>(i < 10 ? SCAN_F1 + i : SCAN_F11 + i - 10);
}

// A key press as the console reports it, repeat count 1. A keypad digit held
// with Alt gives no character, so that it can enter a character by its
// number.
KeyEventRecord key_press(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t state);

// The unshifted character of a virtual key on the US layout, 0 for none.
unsigned us_layout_vk_char(unsigned vk);

// The key event a US keyboard produces for typing `ch` (Shift added where
// the character needs it). Bytes without a key get virtual key 0, scan 0.
KeyEventRecord key_event_for_char(uint8_t ch);

// The key event a US keyboard produces for a control byte (below 0x20, or
// 127): Enter 13, Ctrl+Enter 10, Tab 9, Backspace 127 or 8, Escape 27,
// Ctrl+letter 1..26, and Ctrl with the keys of 2, \, ], 6 and - for 0 and
// 28..31.
KeyEventRecord key_event_for_control(uint8_t byte);
// The control byte that Ctrl with the key of `key_char` (its unshifted
// character) types, 0 for none: 1..26 for the letters, 27..31 for [, \, ],
// 6 and -.
uint8_t control_byte_of_key(uint32_t key_char);

}  // namespace zw
