// A browser's key events as the console's key records: the physical key
// (KeyboardEvent.code) gives the virtual key and scan code a US keyboard has
// there, the typed character (KeyboardEvent.key) the character in the
// program's code page, the modifiers and lock states the control-key state.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/console_port.h"

namespace zw {

// What the page hands over of one keydown or keyup event.
struct BrowserKey {
  bool down = true;
  std::string_view code;  // KeyboardEvent.code, "KeyA", "Numpad1", "AltRight"
  uint32_t key_char = 0;  // KeyboardEvent.key when it is one character, else 0
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  bool alt_graph = false;  // getModifierState("AltGraph")
  bool caps_lock = false;
  bool num_lock = false;
  bool scroll_lock = false;
};

// Which Ctrl and Alt keys are held: the events say only "Ctrl" or "Alt",
// the console says which side.
struct HeldSides {
  bool left_ctrl = false;
  bool right_ctrl = false;
  bool left_alt = false;
  bool right_alt = false;
};

// Ctrl+Pause, as the console reports it.
constexpr uint16_t VKEY_CANCEL = 0x03;

// The key record of `key`, with `held` brought up to date; false for a key
// the console has no key for (media keys, a character outside the code page
// on a key a US keyboard lacks). A held key's repeats come as further
// key-downs, each a record of its own. AltGr is Ctrl+Alt, as on Windows.
bool browser_key_record(const BrowserKey& key, HeldSides& held, KeyEventRecord* record);

}  // namespace zw
