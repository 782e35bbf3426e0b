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
// the one for kitty protocol reports, or both. WHOLE rows the first reads
// only as the whole sequence: their parameter is part of it, never a
// modifier. A CUT row it reads only when the deadline settles the sequence
// that stopped short after its final byte ("ESC [ M", which starts a mouse
// report too).
enum KeyForms : uint8_t { CLASSIC = 1, KITTY = 2, BOTH = CLASSIC | KITTY, WHOLE = 4, CUT = 8 };

// Where terminals give the same bytes different keys, what TERM names
// decides: the Linux console sends Shift+Tab as Escape + Tab, and rxvt
// numbers its shifted function keys from Shift+F1 = F11, so that its
// "ESC [ 25 ~" is Shift+F3 where the Linux console's and a VT220
// keyboard's is Shift+F1 (F13). st, with the keypad in normal mode, sends
// its editing keys as the editing commands they stand for ("ESC [ P",
// delete a character, is Delete there and F1 elsewhere).
enum class KeyDialect : uint8_t { COMMON, LINUX, RXVT, ST };

// The dialect of the terminal named `term` (TERM; nullptr for none).
KeyDialect key_dialect_of(const char* term);

// Which dialects read a row, a bit for each KeyDialect.
enum KeyDialects : uint8_t {
  ALL_DIALECTS = 0x0F,
  ONLY_RXVT = 1 << static_cast<int>(KeyDialect::RXVT),
  ONLY_ST = 1 << static_cast<int>(KeyDialect::ST),
  ALL_BUT_RXVT = ALL_DIALECTS & ~ONLY_RXVT,
};

// A key sequence and its key. state: what the sequence itself says about the
// key (gray key, Shift, Ctrl, Num Lock); modifiers sent as a parameter are
// added when it is decoded.
struct KeySequence {
  char kind;        // '[' CSI, 'O' SS3, 'L' the Linux console's ESC [ [
  uint16_t number;  // n of "ESC [ n ~" and "ESC [ n u", st's "ESC [ n h";
                    // 0 for the letter forms
  char final;
  uint16_t vk;
  uint8_t scan;
  uint8_t ch;
  uint32_t state;
  uint8_t forms;     // KeyForms
  uint8_t dialects;  // KeyDialects
};

// The first row of the complete sequence `kind` `number` `final` that
// `forms` reads in `dialect`; nullptr for none. The kitty protocol's rows
// hold in every dialect.
const KeySequence* find_key_sequence(char kind, uint32_t number, char final, KeyForms forms,
                                     KeyDialect dialect = KeyDialect::COMMON);

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
