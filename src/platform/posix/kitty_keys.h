// Key reports of terminals that speak the kitty keyboard protocol, as
// console key events: press, repeat and release of every key, the modifier
// keys included, with the modifier bits, Num Lock, and keypad keys apart
// from the gray keys.
//
// With KITTY_KEY_FLAGS pushed, a key arrives as one of
//   ESC [ code[:shifted[:base]] [; mods[:event] [; text]] u
//   ESC [ number [; mods[:event]] ~          Insert, Delete, Page Up and Down,
//                                            F5..F12, Menu, keypad 5
//   ESC [ [1 ; mods[:event]] A B C D E F H P Q R S
//                                            arrows, keypad 5, End, Home,
//                                            F1..F4
// code is the key's unshifted character or a private-use number for the
// other keys; base is the key at that place on a US keyboard; text the
// characters typed, colon-separated. mods - 1 is a bit set: Shift 1, Alt 2,
// Ctrl 4, Super 8, Hyper 16, Meta 32, Caps Lock 64, Num Lock 128. event: 1
// press, 2 repeat, 3 release.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/console_port.h"

namespace zw {

// The flags the port pushes, all five:
//   1  Escape, Alt+key and Ctrl+key as sequences; keypad keys apart from the
//      gray ones
//   2  repeat and release (an Alt+keypad entry ends when Alt is let go)
//   4  the base-layout key: US-layout virtual key and scan code on any layout
//   8  every key as a sequence: Shift, Ctrl and Alt themselves, and Enter,
//      Tab and Backspace with their release
//   16 the text of a key: the character the user's layout makes of it
constexpr int KITTY_KEY_FLAGS = 31;
// What the terminal is sent for the protocol (the query, the push of
// KITTY_KEY_FLAGS and the pop) is in terminal_sequences.h.

// Which modifier keys are held, by side: the reports' modifier bits say only
// "Ctrl" or "Alt", the console says which.
struct KittyKeyState {
  bool left_shift = false;
  bool right_shift = false;
  bool left_ctrl = false;
  bool right_ctrl = false;
  bool left_alt = false;
  bool right_alt = false;
};

// Decodes one control sequence, `params` being the bytes between "ESC [" and
// the final byte. A key report appends its events to `keys` (none for keys
// the console has no key for) and gives true; anything else gives false and
// appends nothing. "ESC [ 1 ; 5 R" is Ctrl+F3 here: a caller awaiting a
// cursor report takes that first.
bool decode_kitty_sequence(KittyKeyState& s, const char* params, size_t count, char final,
                           std::vector<KeyEventRecord>* keys);

// The flags of the terminal's answer "ESC [ ? flags u" to KITTY_QUERY; -1
// when the sequence is no such answer.
int kitty_flags_answer(const char* params, size_t count, char final);

}  // namespace zw
