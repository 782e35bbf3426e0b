// The US keyboard layout: virtual keys, scan codes and characters, for a
// platform that reports characters and not keys.
#pragma once

#include <cstdint>

#include "platform/console_port.h"

namespace zw {

// Common virtual-key codes (the native console's values).
enum : uint16_t {
  VKEY_BACK = 0x08, VKEY_TAB = 0x09, VKEY_RETURN = 0x0D, VKEY_SHIFT = 0x10,
  VKEY_CONTROL = 0x11, VKEY_MENU = 0x12, VKEY_ESCAPE = 0x1B, VKEY_SPACE = 0x20,
  VKEY_PRIOR = 0x21, VKEY_NEXT = 0x22, VKEY_END = 0x23, VKEY_HOME = 0x24,
  VKEY_LEFT = 0x25, VKEY_UP = 0x26, VKEY_RIGHT = 0x27, VKEY_DOWN = 0x28,
  VKEY_INSERT = 0x2D, VKEY_DELETE = 0x2E, VKEY_NUMPAD0 = 0x60, VKEY_MULTIPLY = 0x6A,
  VKEY_ADD = 0x6B, VKEY_SUBTRACT = 0x6D, VKEY_DECIMAL = 0x6E, VKEY_DIVIDE = 0x6F,
  VKEY_F1 = 0x70, VKEY_F12 = 0x7B, VKEY_OEM_1 = 0xBA, VKEY_OEM_PLUS = 0xBB,
  VKEY_OEM_COMMA = 0xBC, VKEY_OEM_MINUS = 0xBD, VKEY_OEM_PERIOD = 0xBE,
  VKEY_OEM_2 = 0xBF, VKEY_OEM_3 = 0xC0, VKEY_OEM_4 = 0xDB, VKEY_OEM_5 = 0xDC,
  VKEY_OEM_6 = 0xDD, VKEY_OEM_7 = 0xDE, VKEY_OEM_102 = 0xE2,
};

// The unshifted character of a virtual key on the US layout, 0 for none.
unsigned us_layout_vk_char(unsigned vk);

// The key event a US keyboard produces for typing `ch` (Shift added where
// the character needs it). Bytes without a key get virtual key 0, scan 0.
KeyEventRecord key_event_for_char(uint8_t ch);

}  // namespace zw
