// What both terminal key decoders share: the table of the control sequences
// that stand for keys, and the parser of a sequence's parameters.
//
// A terminal sends a key that types no character as
//   ESC [ params final     CSI: cursor and editing keys, F1..F12
//   ESC O final            SS3: application-mode cursor keys, F1..F4, keypad
//   ESC [ [ final          the Linux console's F1..F5
// and with the kitty keyboard protocol on, every key as
//   ESC [ code ... u       (kitty_keys.h)
// or in one of the CSI forms above, which the protocol keeps for the gray
// keys and F1..F12 but reads slightly differently (Menu, keypad 5).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zw {

// Which decoder reads a row: the one for what terminals send by themselves,
// the one for kitty protocol reports, or both.
enum KeyForms : uint8_t { CLASSIC = 1, KITTY = 2, BOTH = CLASSIC | KITTY };

// A key sequence and its key. state: what the sequence itself says about the
// key (gray key, Shift, Ctrl, Num Lock); modifiers sent as a parameter are
// added when it is decoded.
struct KeySequence {
  char kind;        // '[' CSI, 'O' SS3, 'L' the Linux console's ESC [ [
  uint16_t number;  // n of "ESC [ n ~" and "ESC [ n u"; 0 for the letter forms
  char final;
  uint16_t vk;
  uint8_t scan;
  uint8_t ch;
  uint32_t state;
  uint8_t forms;  // KeyForms
};

// The row of the complete sequence `kind` `number` `final` that `forms`
// reads; nullptr for none.
const KeySequence* find_key_sequence(char kind, uint32_t number, char final, KeyForms forms);

// The parameters of a control sequence: fields separated by ";", each of
// sub-parameters separated by ":". An empty one is 0.
constexpr int CSI_FIELDS_MAX = 4;
constexpr int CSI_SUBS_MAX = 8;
constexpr uint32_t CSI_VALUE_MAX = 0x10FFFF;

struct CsiParams {
  int count = 0;                  // fields; 0 when there are no parameters
  int subs[CSI_FIELDS_MAX] = {};  // sub-parameters of each field, at least 1
  uint32_t value[CSI_FIELDS_MAX][CSI_SUBS_MAX] = {};
};

// Parses the `count` bytes between "ESC [" and the final byte. False for any
// byte but digits, ";" and ":" (private markers, intermediates), for more
// fields or sub-parameters than CsiParams holds, and for a value above
// CSI_VALUE_MAX.
bool parse_csi_params(const char* params, size_t count, CsiParams* out);

}  // namespace zw
