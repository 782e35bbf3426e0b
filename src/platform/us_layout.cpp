#include "platform/us_layout.h"

#include <iterator>

namespace zw {

namespace {

// One key of the US layout: what it types without and with Shift (0 for
// nothing), its virtual key and its scan code. Lookups take the first row
// that fits, so the main keys come before the keypad's.
struct UsKey {
  uint8_t plain;
  uint8_t shifted;
  uint16_t vk;
  uint16_t scan;
};

// clang-format off
constexpr UsKey US_KEYS[] = {
  // plain  shifted  virtual key        scan
  {'1',  '!',  '1',               0x02}, {'2',  '@',  '2',               0x03},
  {'3',  '#',  '3',               0x04}, {'4',  '$',  '4',               0x05},
  {'5',  '%',  '5',               0x06}, {'6',  '^',  '6',               0x07},
  {'7',  '&',  '7',               0x08}, {'8',  '*',  '8',               0x09},
  {'9',  '(',  '9',               0x0A}, {'0',  ')',  '0',               0x0B},
  {'-',  '_',  VKEY_OEM_MINUS,    0x0C}, {'=',  '+',  VKEY_OEM_PLUS,     0x0D},
  {'q',  'Q',  'Q',               0x10}, {'w',  'W',  'W',               0x11},
  {'e',  'E',  'E',               0x12}, {'r',  'R',  'R',               0x13},
  {'t',  'T',  'T',               0x14}, {'y',  'Y',  'Y',               0x15},
  {'u',  'U',  'U',               0x16}, {'i',  'I',  'I',               0x17},
  {'o',  'O',  'O',               0x18}, {'p',  'P',  'P',               0x19},
  {'[',  '{',  VKEY_OEM_4,        0x1A}, {']',  '}',  VKEY_OEM_6,        0x1B},
  {'a',  'A',  'A',               0x1E}, {'s',  'S',  'S',               0x1F},
  {'d',  'D',  'D',               0x20}, {'f',  'F',  'F',               0x21},
  {'g',  'G',  'G',               0x22}, {'h',  'H',  'H',               0x23},
  {'j',  'J',  'J',               0x24}, {'k',  'K',  'K',               0x25},
  {'l',  'L',  'L',               0x26}, {';',  ':',  VKEY_OEM_1,        0x27},
  {'\'', '"',  VKEY_OEM_7,        0x28}, {'`',  '~',  VKEY_OEM_3,        0x29},
  {'\\', '|',  VKEY_OEM_5,        0x2B}, {'z',  'Z',  'Z',               0x2C},
  {'x',  'X',  'X',               0x2D}, {'c',  'C',  'C',               0x2E},
  {'v',  'V',  'V',               0x2F}, {'b',  'B',  'B',               0x30},
  {'n',  'N',  'N',               0x31}, {'m',  'M',  'M',               0x32},
  {',',  '<',  VKEY_OEM_COMMA,    0x33}, {'.',  '>',  VKEY_OEM_PERIOD,   0x34},
  {'/',  '?',  VKEY_OEM_2,        0x35}, {'\\', '|',  VKEY_OEM_102,      0x56},
  {' ',  0,    VKEY_SPACE,        SCAN_SPACE}, {8,    0,    VKEY_BACK,     SCAN_BACK},
  {9,    0,    VKEY_TAB,          SCAN_TAB},   {13,   0,    VKEY_RETURN,   SCAN_RETURN},
  {27,   0,    VKEY_ESCAPE,       SCAN_ESCAPE},
  // The keypad with Num Lock on.
  {'0',  0,    VKEY_NUMPAD0,      KEYPAD_SCANS[0]}, {'1',  0,    VKEY_NUMPAD0 + 1,  KEYPAD_SCANS[1]},
  {'2',  0,    VKEY_NUMPAD0 + 2,  KEYPAD_SCANS[2]}, {'3',  0,    VKEY_NUMPAD0 + 3,  KEYPAD_SCANS[3]},
  {'4',  0,    VKEY_NUMPAD0 + 4,  KEYPAD_SCANS[4]}, {'5',  0,    VKEY_NUMPAD0 + 5,  KEYPAD_SCANS[5]},
  {'6',  0,    VKEY_NUMPAD0 + 6,  KEYPAD_SCANS[6]}, {'7',  0,    VKEY_NUMPAD0 + 7,  KEYPAD_SCANS[7]},
  {'8',  0,    VKEY_NUMPAD0 + 8,  KEYPAD_SCANS[8]}, {'9',  0,    VKEY_NUMPAD0 + 9,  KEYPAD_SCANS[9]},
  {'*',  0,    VKEY_MULTIPLY,     SCAN_MULTIPLY},   {'+',  0,    VKEY_ADD,          SCAN_ADD},
  {'-',  0,    VKEY_SUBTRACT,     SCAN_SUBTRACT},   {'.',  0,    VKEY_DECIMAL,      SCAN_DELETE},
  {'/',  0,    VKEY_DIVIDE,       SCAN_DIVIDE},
};
// clang-format on
static_assert(std::size(US_KEYS) == 68);

// The control bytes that Ctrl types with a key other than a letter's, by
// that key's unshifted character; Shift is held for those on a shifted
// character (@, ^, _). Ctrl+[ is the Escape key's byte.
struct ControlKey {
  uint8_t byte;
  uint8_t key;
  uint32_t shift;
};

constexpr ControlKey CONTROL_KEYS[] = {
    // byte key   shift
    {0,    '2',  KeyState::SHIFT},
    {27,   '[',  0},
    {28,   '\\', 0},
    {29,   ']',  0},
    {30,   '6',  KeyState::SHIFT},
    {31,   '-',  KeyState::SHIFT},
};
static_assert(std::size(CONTROL_KEYS) == 6);

}  // namespace

// Letters come back in capitals, as the native mapping gives them.
unsigned us_layout_vk_char(unsigned vk) {
  for (const UsKey& k : US_KEYS) {
    if (k.vk != vk) continue;
    if (k.plain >= 'a' && k.plain <= 'z') return k.plain - 'a' + 'A';
    return k.plain;
  }
  return 0;
}

KeyEventRecord key_press(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t state) {
  KeyEventRecord ev;
  ev.key_down = true;
  ev.repeat_count = 1;
  ev.virtual_key = vk;
  ev.scan_code = scan;
  ev.ch = ch;
  ev.control_state = state;
  if (vk >= VKEY_NUMPAD0 && vk <= VKEY_NUMPAD9 && (state & KeyState::ALT_HELD)) ev.ch = 0;
  return ev;
}

KeyEventRecord key_event_for_char(uint8_t ch) {
  for (const UsKey& k : US_KEYS) {
    const bool shifted = k.shifted != 0 && ch == k.shifted;
    if (ch != k.plain && !shifted) continue;
    return key_press(k.vk, k.scan, ch, shifted ? KeyState::SHIFT : 0u);
  }
  return key_press(0, 0, ch, 0);
}

KeyEventRecord key_event_for_control(uint8_t byte) {
  switch (byte) {
    case 8: case 9: case 13: case 27: return key_event_for_char(byte);
    case 127: return key_event_for_char(8);
    case 10: return key_press(VKEY_RETURN, SCAN_RETURN, 10, KeyState::LEFT_CTRL);
    default: break;
  }
  uint8_t key = static_cast<uint8_t>('a' + byte - 1);
  uint32_t shift = 0;
  for (const ControlKey& c : CONTROL_KEYS) {
    if (c.byte != byte) continue;
    key = c.key;
    shift = c.shift;
  }
  const KeyEventRecord k = key_event_for_char(key);
  return key_press(k.virtual_key, k.scan_code, byte, KeyState::LEFT_CTRL | shift);
}

uint8_t control_byte_of_key(uint32_t key_char) {
  if (key_char >= 'a' && key_char <= 'z') return static_cast<uint8_t>(key_char - 'a' + 1);
  for (const ControlKey& c : CONTROL_KEYS)
    if (c.byte != 0 && c.key == key_char) return c.byte;
  return 0;
}

}  // namespace zw
