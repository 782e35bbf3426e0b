#include "platform/posix/key_sequences.h"

#include <cstring>
#include <iterator>

#include "platform/console_port.h"
#include "platform/us_layout.h"

namespace zw {

namespace {

constexpr uint32_t ENH = KeyState::ENHANCED;
constexpr uint32_t NUM = KeyState::NUM_LOCK;
constexpr uint32_t SHIFT = KeyState::SHIFT;
constexpr uint32_t CTRL = KeyState::LEFT_CTRL;

constexpr uint8_t ALL = ALL_DIALECTS;
constexpr uint8_t ST = ONLY_ST;
constexpr uint8_t RXVT = ONLY_RXVT;
constexpr uint8_t NO_RXVT = ALL_BUT_RXVT;

constexpr uint16_t F1 = VKEY_F1;
constexpr uint16_t KP0 = VKEY_NUMPAD0;

// clang-format off
constexpr KeySequence KEY_SEQUENCES[] = {
  // kind number final vk             scan              ch   state         forms    dialects
  // st's editing keys with the keypad in normal mode: the editing command
  // each stands for, its number part of the sequence; they come before the
  // rows that other terminals read the same bytes by. Ctrl+Delete, "ESC [ M",
  // looks like the start of a mouse report and is settled by the deadline.
  {'[', 0,     'P', VKEY_DELETE,      SCAN_DELETE,      0,   ENH,          WHOLE,   ST},
  {'[', 2,     'K', VKEY_DELETE,      SCAN_DELETE,      0,   ENH | SHIFT,  WHOLE,   ST},
  {'[', 0,     'M', VKEY_DELETE,      SCAN_DELETE,      0,   ENH | CTRL,   CUT,     ST},
  {'[', 4,     'h', VKEY_INSERT,      SCAN_INSERT,      0,   ENH,          WHOLE,   ST},
  {'[', 4,     'l', VKEY_INSERT,      SCAN_INSERT,      0,   ENH | SHIFT,  WHOLE,   ST},
  {'[', 0,     'L', VKEY_INSERT,      SCAN_INSERT,      0,   ENH | CTRL,   WHOLE,   ST},
  {'[', 2,     'J', VKEY_HOME,        SCAN_HOME,        0,   ENH | SHIFT,  WHOLE,   ST},
  {'[', 0,     'K', VKEY_END,         SCAN_END,         0,   ENH | SHIFT,  WHOLE,   ST},
  {'[', 0,     'J', VKEY_END,         SCAN_END,         0,   ENH | CTRL,   WHOLE,   ST},
  // Cursor keys: xterm, VTE, kitty, tmux, Linux console; SS3 in application
  // mode; rxvt's Shift (CSI) and Ctrl (SS3) lower-case forms.
  {'[', 0,     'A', VKEY_UP,          SCAN_UP,          0,   ENH,          BOTH,    ALL},
  {'[', 0,     'B', VKEY_DOWN,        SCAN_DOWN,        0,   ENH,          BOTH,    ALL},
  {'[', 0,     'C', VKEY_RIGHT,       SCAN_RIGHT,       0,   ENH,          BOTH,    ALL},
  {'[', 0,     'D', VKEY_LEFT,        SCAN_LEFT,        0,   ENH,          BOTH,    ALL},
  {'O', 0,     'A', VKEY_UP,          SCAN_UP,          0,   ENH,          CLASSIC, ALL},
  {'O', 0,     'B', VKEY_DOWN,        SCAN_DOWN,        0,   ENH,          CLASSIC, ALL},
  {'O', 0,     'C', VKEY_RIGHT,       SCAN_RIGHT,       0,   ENH,          CLASSIC, ALL},
  {'O', 0,     'D', VKEY_LEFT,        SCAN_LEFT,        0,   ENH,          CLASSIC, ALL},
  {'[', 0,     'a', VKEY_UP,          SCAN_UP,          0,   ENH | SHIFT,  CLASSIC, ALL},
  {'[', 0,     'b', VKEY_DOWN,        SCAN_DOWN,        0,   ENH | SHIFT,  CLASSIC, ALL},
  {'[', 0,     'c', VKEY_RIGHT,       SCAN_RIGHT,       0,   ENH | SHIFT,  CLASSIC, ALL},
  {'[', 0,     'd', VKEY_LEFT,        SCAN_LEFT,        0,   ENH | SHIFT,  CLASSIC, ALL},
  {'O', 0,     'a', VKEY_UP,          SCAN_UP,          0,   ENH | CTRL,   CLASSIC, ALL},
  {'O', 0,     'b', VKEY_DOWN,        SCAN_DOWN,        0,   ENH | CTRL,   CLASSIC, ALL},
  {'O', 0,     'c', VKEY_RIGHT,       SCAN_RIGHT,       0,   ENH | CTRL,   CLASSIC, ALL},
  {'O', 0,     'd', VKEY_LEFT,        SCAN_LEFT,        0,   ENH | CTRL,   CLASSIC, ALL},
  // Home and End: xterm letters, tmux/screen/Linux 1 and 4, rxvt and kitty
  // 7 and 8.
  {'[', 0,     'H', VKEY_HOME,        SCAN_HOME,        0,   ENH,          BOTH,    ALL},
  {'[', 0,     'F', VKEY_END,         SCAN_END,         0,   ENH,          BOTH,    ALL},
  {'O', 0,     'H', VKEY_HOME,        SCAN_HOME,        0,   ENH,          CLASSIC, ALL},
  {'O', 0,     'F', VKEY_END,         SCAN_END,         0,   ENH,          CLASSIC, ALL},
  {'[', 1,     '~', VKEY_HOME,        SCAN_HOME,        0,   ENH,          CLASSIC, ALL},
  {'[', 7,     '~', VKEY_HOME,        SCAN_HOME,        0,   ENH,          BOTH,    ALL},
  {'[', 4,     '~', VKEY_END,         SCAN_END,         0,   ENH,          CLASSIC, ALL},
  {'[', 8,     '~', VKEY_END,         SCAN_END,         0,   ENH,          BOTH,    ALL},
  // Editing keypad.
  {'[', 2,     '~', VKEY_INSERT,      SCAN_INSERT,      0,   ENH,          BOTH,    ALL},
  {'[', 3,     '~', VKEY_DELETE,      SCAN_DELETE,      0,   ENH,          BOTH,    ALL},
  {'[', 5,     '~', VKEY_PRIOR,       SCAN_PRIOR,       0,   ENH,          BOTH,    ALL},
  {'[', 6,     '~', VKEY_NEXT,        SCAN_NEXT,        0,   ENH,          BOTH,    ALL},
  // Keypad 5 with Num Lock off ("begin").
  {'[', 0,     'E', VKEY_CLEAR,       SCAN_CLEAR,       0,   0,            BOTH,    ALL},
  {'O', 0,     'E', VKEY_CLEAR,       SCAN_CLEAR,       0,   0,            CLASSIC, ALL},
  {'[', 0,     'G', VKEY_CLEAR,       SCAN_CLEAR,       0,   0,            CLASSIC, ALL},
  {'[', 57427, '~', VKEY_CLEAR,       SCAN_CLEAR,       0,   0,            KITTY,   ALL},
  // Shift+Tab.
  {'[', 0,     'Z', VKEY_TAB,         SCAN_TAB,         9,   SHIFT,        CLASSIC, ALL},
  // F1..F4: SS3 plain, CSI with a modifier, rxvt/old xterm 11..14, Linux.
  {'O', 0,     'P', F1 + 0,           SCAN_F1 + 0,      0,   0,            CLASSIC, ALL},
  {'O', 0,     'Q', F1 + 1,           SCAN_F1 + 1,      0,   0,            CLASSIC, ALL},
  {'O', 0,     'R', F1 + 2,           SCAN_F1 + 2,      0,   0,            CLASSIC, ALL},
  {'O', 0,     'S', F1 + 3,           SCAN_F1 + 3,      0,   0,            CLASSIC, ALL},
  {'[', 0,     'P', F1 + 0,           SCAN_F1 + 0,      0,   0,            BOTH,    ALL},
  {'[', 0,     'Q', F1 + 1,           SCAN_F1 + 1,      0,   0,            BOTH,    ALL},
  {'[', 0,     'R', F1 + 2,           SCAN_F1 + 2,      0,   0,            BOTH,    ALL},
  {'[', 0,     'S', F1 + 3,           SCAN_F1 + 3,      0,   0,            BOTH,    ALL},
  {'[', 11,    '~', F1 + 0,           SCAN_F1 + 0,      0,   0,            BOTH,    ALL},
  {'[', 12,    '~', F1 + 1,           SCAN_F1 + 1,      0,   0,            BOTH,    ALL},
  {'[', 13,    '~', F1 + 2,           SCAN_F1 + 2,      0,   0,            BOTH,    ALL},
  {'[', 14,    '~', F1 + 3,           SCAN_F1 + 3,      0,   0,            BOTH,    ALL},
  {'L', 0,     'A', F1 + 0,           SCAN_F1 + 0,      0,   0,            CLASSIC, ALL},
  {'L', 0,     'B', F1 + 1,           SCAN_F1 + 1,      0,   0,            CLASSIC, ALL},
  {'L', 0,     'C', F1 + 2,           SCAN_F1 + 2,      0,   0,            CLASSIC, ALL},
  {'L', 0,     'D', F1 + 3,           SCAN_F1 + 3,      0,   0,            CLASSIC, ALL},
  {'L', 0,     'E', F1 + 4,           SCAN_F1 + 4,      0,   0,            CLASSIC, ALL},
  // F5..F12. Without the kitty protocol, 25..34 are Shift with a function
  // key (below); with it, 29 is the Menu key.
  {'[', 15,    '~', F1 + 4,           SCAN_F1 + 4,      0,   0,            BOTH,    ALL},
  {'[', 17,    '~', F1 + 5,           SCAN_F1 + 5,      0,   0,            BOTH,    ALL},
  {'[', 18,    '~', F1 + 6,           SCAN_F1 + 6,      0,   0,            BOTH,    ALL},
  {'[', 19,    '~', F1 + 7,           SCAN_F1 + 7,      0,   0,            BOTH,    ALL},
  {'[', 20,    '~', F1 + 8,           SCAN_F1 + 8,      0,   0,            BOTH,    ALL},
  {'[', 21,    '~', F1 + 9,           SCAN_F1 + 9,      0,   0,            BOTH,    ALL},
  {'[', 23,    '~', F1 + 10,          SCAN_F11,         0,   0,            BOTH,    ALL},
  {'[', 24,    '~', F1 + 11,          SCAN_F12,         0,   0,            BOTH,    ALL},
  {'[', 29,    '~', VKEY_APPS,        SCAN_APPS,        0,   ENH,          KITTY,   ALL},
  // F13..F20 of a VT220 keyboard, "ESC [ n ~": Shift with F1..F8 (the Linux
  // console, xterm's VT220 keyboard), with F3..F10 in rxvt.
  {'[', 25,    '~', F1 + 0,           SCAN_F1 + 0,      0,   SHIFT,        CLASSIC, NO_RXVT},
  {'[', 25,    '~', F1 + 2,           SCAN_F1 + 2,      0,   SHIFT,        CLASSIC, RXVT},
  {'[', 26,    '~', F1 + 1,           SCAN_F1 + 1,      0,   SHIFT,        CLASSIC, NO_RXVT},
  {'[', 26,    '~', F1 + 3,           SCAN_F1 + 3,      0,   SHIFT,        CLASSIC, RXVT},
  {'[', 28,    '~', F1 + 2,           SCAN_F1 + 2,      0,   SHIFT,        CLASSIC, NO_RXVT},
  {'[', 28,    '~', F1 + 4,           SCAN_F1 + 4,      0,   SHIFT,        CLASSIC, RXVT},
  {'[', 29,    '~', F1 + 3,           SCAN_F1 + 3,      0,   SHIFT,        CLASSIC, NO_RXVT},
  {'[', 29,    '~', F1 + 5,           SCAN_F1 + 5,      0,   SHIFT,        CLASSIC, RXVT},
  {'[', 31,    '~', F1 + 4,           SCAN_F1 + 4,      0,   SHIFT,        CLASSIC, NO_RXVT},
  {'[', 31,    '~', F1 + 6,           SCAN_F1 + 6,      0,   SHIFT,        CLASSIC, RXVT},
  {'[', 32,    '~', F1 + 5,           SCAN_F1 + 5,      0,   SHIFT,        CLASSIC, NO_RXVT},
  {'[', 32,    '~', F1 + 7,           SCAN_F1 + 7,      0,   SHIFT,        CLASSIC, RXVT},
  {'[', 33,    '~', F1 + 6,           SCAN_F1 + 6,      0,   SHIFT,        CLASSIC, NO_RXVT},
  {'[', 33,    '~', F1 + 8,           SCAN_F1 + 8,      0,   SHIFT,        CLASSIC, RXVT},
  {'[', 34,    '~', F1 + 7,           SCAN_F1 + 7,      0,   SHIFT,        CLASSIC, NO_RXVT},
  {'[', 34,    '~', F1 + 9,           SCAN_F1 + 9,      0,   SHIFT,        CLASSIC, RXVT},
  // Numeric keypad in application mode.
  {'O', 0,     'M', VKEY_RETURN,      SCAN_RETURN,      13,  ENH,          CLASSIC, ALL},
  {'O', 0,     'o', VKEY_DIVIDE,      SCAN_DIVIDE,      '/', ENH,          CLASSIC, ALL},
  {'O', 0,     'j', VKEY_MULTIPLY,    SCAN_MULTIPLY,    '*', NUM,          CLASSIC, ALL},
  {'O', 0,     'm', VKEY_SUBTRACT,    SCAN_SUBTRACT,    '-', NUM,          CLASSIC, ALL},
  {'O', 0,     'k', VKEY_ADD,         SCAN_ADD,         '+', NUM,          CLASSIC, ALL},
  {'O', 0,     'l', VKEY_SEPARATOR,   SCAN_DELETE,      ',', NUM,          CLASSIC, ALL},
  {'O', 0,     'n', VKEY_DECIMAL,     SCAN_DELETE,      '.', NUM,          CLASSIC, ALL},
  {'O', 0,     'p', KP0 + 0,          KEYPAD_SCANS[0],  '0', NUM,          CLASSIC, ALL},
  {'O', 0,     'q', KP0 + 1,          KEYPAD_SCANS[1],  '1', NUM,          CLASSIC, ALL},
  {'O', 0,     'r', KP0 + 2,          KEYPAD_SCANS[2],  '2', NUM,          CLASSIC, ALL},
  {'O', 0,     's', KP0 + 3,          KEYPAD_SCANS[3],  '3', NUM,          CLASSIC, ALL},
  {'O', 0,     't', KP0 + 4,          KEYPAD_SCANS[4],  '4', NUM,          CLASSIC, ALL},
  {'O', 0,     'u', KP0 + 5,          KEYPAD_SCANS[5],  '5', NUM,          CLASSIC, ALL},
  {'O', 0,     'v', KP0 + 6,          KEYPAD_SCANS[6],  '6', NUM,          CLASSIC, ALL},
  {'O', 0,     'w', KP0 + 7,          KEYPAD_SCANS[7],  '7', NUM,          CLASSIC, ALL},
  {'O', 0,     'x', KP0 + 8,          KEYPAD_SCANS[8],  '8', NUM,          CLASSIC, ALL},
  {'O', 0,     'y', KP0 + 9,          KEYPAD_SCANS[9],  '9', NUM,          CLASSIC, ALL},
  // The kitty protocol's "ESC [ code u" keys that type no character of
  // their own: four control keys, then its private-use numbers. F13..F24
  // are worked out in kitty_keys.cpp.
  {'[', 9,     'u', VKEY_TAB,         SCAN_TAB,         9,   0,            KITTY,   ALL},
  {'[', 13,    'u', VKEY_RETURN,      SCAN_RETURN,      13,  0,            KITTY,   ALL},
  {'[', 27,    'u', VKEY_ESCAPE,      SCAN_ESCAPE,      27,  0,            KITTY,   ALL},
  {'[', 127,   'u', VKEY_BACK,        SCAN_BACK,        8,   0,            KITTY,   ALL},
  {'[', 57358, 'u', VKEY_CAPITAL,     SCAN_CAPITAL,     0,   0,            KITTY,   ALL},
  {'[', 57359, 'u', VKEY_SCROLL,      SCAN_SCROLL,      0,   0,            KITTY,   ALL},
  {'[', 57360, 'u', VKEY_NUMLOCK,     SCAN_NUMLOCK,     0,   ENH,          KITTY,   ALL},
  {'[', 57361, 'u', VKEY_SNAPSHOT,    SCAN_SNAPSHOT,    0,   ENH,          KITTY,   ALL},
  {'[', 57362, 'u', VKEY_PAUSE,       SCAN_PAUSE,       0,   0,            KITTY,   ALL},
  {'[', 57363, 'u', VKEY_APPS,        SCAN_APPS,        0,   ENH,          KITTY,   ALL},
  // The keypad: Num Lock on, then off (not gray keys).
  {'[', 57399, 'u', KP0 + 0,          KEYPAD_SCANS[0],  '0', 0,            KITTY,   ALL},
  {'[', 57400, 'u', KP0 + 1,          KEYPAD_SCANS[1],  '1', 0,            KITTY,   ALL},
  {'[', 57401, 'u', KP0 + 2,          KEYPAD_SCANS[2],  '2', 0,            KITTY,   ALL},
  {'[', 57402, 'u', KP0 + 3,          KEYPAD_SCANS[3],  '3', 0,            KITTY,   ALL},
  {'[', 57403, 'u', KP0 + 4,          KEYPAD_SCANS[4],  '4', 0,            KITTY,   ALL},
  {'[', 57404, 'u', KP0 + 5,          KEYPAD_SCANS[5],  '5', 0,            KITTY,   ALL},
  {'[', 57405, 'u', KP0 + 6,          KEYPAD_SCANS[6],  '6', 0,            KITTY,   ALL},
  {'[', 57406, 'u', KP0 + 7,          KEYPAD_SCANS[7],  '7', 0,            KITTY,   ALL},
  {'[', 57407, 'u', KP0 + 8,          KEYPAD_SCANS[8],  '8', 0,            KITTY,   ALL},
  {'[', 57408, 'u', KP0 + 9,          KEYPAD_SCANS[9],  '9', 0,            KITTY,   ALL},
  {'[', 57409, 'u', VKEY_DECIMAL,     SCAN_DELETE,      '.', 0,            KITTY,   ALL},
  {'[', 57410, 'u', VKEY_DIVIDE,      SCAN_DIVIDE,      '/', ENH,          KITTY,   ALL},
  {'[', 57411, 'u', VKEY_MULTIPLY,    SCAN_MULTIPLY,    '*', 0,            KITTY,   ALL},
  {'[', 57412, 'u', VKEY_SUBTRACT,    SCAN_SUBTRACT,    '-', 0,            KITTY,   ALL},
  {'[', 57413, 'u', VKEY_ADD,         SCAN_ADD,         '+', 0,            KITTY,   ALL},
  {'[', 57414, 'u', VKEY_RETURN,      SCAN_RETURN,      13,  ENH,          KITTY,   ALL},
  {'[', 57415, 'u', 0,                0,                '=', 0,            KITTY,   ALL},
  {'[', 57416, 'u', VKEY_SEPARATOR,   SCAN_DELETE,      ',', 0,            KITTY,   ALL},
  {'[', 57417, 'u', VKEY_LEFT,        SCAN_LEFT,        0,   0,            KITTY,   ALL},
  {'[', 57418, 'u', VKEY_RIGHT,       SCAN_RIGHT,       0,   0,            KITTY,   ALL},
  {'[', 57419, 'u', VKEY_UP,          SCAN_UP,          0,   0,            KITTY,   ALL},
  {'[', 57420, 'u', VKEY_DOWN,        SCAN_DOWN,        0,   0,            KITTY,   ALL},
  {'[', 57421, 'u', VKEY_PRIOR,       SCAN_PRIOR,       0,   0,            KITTY,   ALL},
  {'[', 57422, 'u', VKEY_NEXT,        SCAN_NEXT,        0,   0,            KITTY,   ALL},
  {'[', 57423, 'u', VKEY_HOME,        SCAN_HOME,        0,   0,            KITTY,   ALL},
  {'[', 57424, 'u', VKEY_END,         SCAN_END,         0,   0,            KITTY,   ALL},
  {'[', 57425, 'u', VKEY_INSERT,      SCAN_INSERT,      0,   0,            KITTY,   ALL},
  {'[', 57426, 'u', VKEY_DELETE,      SCAN_DELETE,      0,   0,            KITTY,   ALL},
  {'[', 57427, 'u', VKEY_CLEAR,       SCAN_CLEAR,       0,   0,            KITTY,   ALL},
  // Modifier keys; Alt Gr (ISO level 3 shift) is the right Alt.
  {'[', 57441, 'u', VKEY_SHIFT,       SCAN_LSHIFT,      0,   0,            KITTY,   ALL},
  {'[', 57442, 'u', VKEY_CONTROL,     SCAN_CONTROL,     0,   0,            KITTY,   ALL},
  {'[', 57443, 'u', VKEY_MENU,        SCAN_MENU,        0,   0,            KITTY,   ALL},
  {'[', 57444, 'u', VKEY_LWIN,        SCAN_LWIN,        0,   ENH,          KITTY,   ALL},
  {'[', 57447, 'u', VKEY_SHIFT,       SCAN_RSHIFT,      0,   0,            KITTY,   ALL},
  {'[', 57448, 'u', VKEY_CONTROL,     SCAN_CONTROL,     0,   ENH,          KITTY,   ALL},
  {'[', 57449, 'u', VKEY_MENU,        SCAN_MENU,        0,   ENH,          KITTY,   ALL},
  {'[', 57450, 'u', VKEY_RWIN,        SCAN_RWIN,        0,   ENH,          KITTY,   ALL},
  {'[', 57453, 'u', VKEY_MENU,        SCAN_MENU,        0,   ENH,          KITTY,   ALL},
};
// clang-format on
static_assert(std::size(KEY_SEQUENCES) == 149);

}  // namespace

KeyDialect key_dialect_of(const char* term) {
  if (term == nullptr) return KeyDialect::COMMON;
  if (std::strncmp(term, "linux", 5) == 0) return KeyDialect::LINUX;
  if (std::strncmp(term, "rxvt", 4) == 0) return KeyDialect::RXVT;
  // st and its other name, stterm, with a variant ("st-256color"); not the
  // Atari ST's st52.
  for (const char* st : {"st", "stterm"}) {
    const size_t n = std::strlen(st);
    if (std::strncmp(term, st, n) == 0 && (term[n] == 0 || term[n] == '-')) return KeyDialect::ST;
  }
  return KeyDialect::COMMON;
}

const KeySequence* find_key_sequence(char kind, uint32_t number, char final, KeyForms forms, KeyDialect dialect) {
  const unsigned dialect_bit = 1u << static_cast<unsigned>(dialect);
  for (const KeySequence& s : KEY_SEQUENCES) {
    if ((s.forms & forms) && (s.dialects & dialect_bit) && s.kind == kind && s.final == final && s.number == number)
      return &s;
  }
  return nullptr;
}

bool parse_csi_params(const char* params, size_t count, CsiParams* out) {
  CsiParams& f = *out;
  f = CsiParams{};
  if (count == 0) return true;
  f.count = 1;
  f.subs[0] = 1;
  for (size_t i = 0; i < count; ++i) {
    const char c = params[i];
    uint32_t& v = f.value[f.count - 1][f.subs[f.count - 1] - 1];
    if (c >= '0' && c <= '9') {
      v = v * 10 + static_cast<uint32_t>(c - '0');
      if (v > CSI_VALUE_MAX) return false;
    } else if (c == ':') {
      if (f.subs[f.count - 1] == CSI_SUBS_MAX) return false;
      ++f.subs[f.count - 1];
    } else if (c == ';') {
      if (f.count == CSI_FIELDS_MAX) return false;
      f.subs[f.count++] = 1;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace zw
