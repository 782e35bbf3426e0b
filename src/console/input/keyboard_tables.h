// The key translation tables: extended key numbers by scan code and
// modifier column, and the codes of the enhanced (gray) keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "console/input/keyboard.h"
#include "platform/us_layout.h"

namespace zw {

// Modifier columns, chosen Alt before Ctrl before Shift.
enum KeyColumn : int { COL_NONE = 0, COL_SHIFT = 1, COL_CTRL = 2, COL_ALT = 3 };

// One scan code: an extended key number per column, 0 for none.
struct ScanKeyRow {
  uint8_t sc;
  uint8_t ext[4];
};

// clang-format off
constexpr ScanKeyRow ScanKeyTable[] = {
  // sc              none  shift ctrl  alt         key (US layout)
  {0x00,          {0,    0,    0,    0   }},   // -
  {SCAN_ESCAPE,   {0,    0,    0,    0x01}},   // Esc
  {0x02,          {0,    0,    0,    0x78}},   // 1
  {0x03,          {0,    0,    0x03, 0x79}},   // 2
  {0x04,          {0,    0,    0,    0x7A}},   // 3
  {0x05,          {0,    0,    0,    0x7B}},   // 4
  {0x06,          {0,    0,    0,    0x7C}},   // 5
  {0x07,          {0,    0,    0,    0x7D}},   // 6
  {0x08,          {0,    0,    0,    0x7E}},   // 7
  {0x09,          {0,    0,    0,    0x7F}},   // 8
  {0x0A,          {0,    0,    0,    0x80}},   // 9
  {0x0B,          {0,    0,    0,    0x81}},   // 0
  {0x0C,          {0,    0,    0,    0x82}},   // -
  {0x0D,          {0,    0,    0,    0x83}},   // =
  {SCAN_BACK,     {0,    0,    0,    0xE0}},   // Backspace
  {SCAN_TAB,      {0,    0x0F, 0x94, 0x0F}},   // Tab
  {0x10,          {0,    0,    0,    0x10}},   // Q
  {0x11,          {0,    0,    0,    0x11}},   // W
  {0x12,          {0,    0,    0,    0x12}},   // E
  {0x13,          {0,    0,    0,    0x13}},   // R
  {0x14,          {0,    0,    0,    0x14}},   // T
  {0x15,          {0,    0,    0,    0x15}},   // Y
  {0x16,          {0,    0,    0,    0x16}},   // U
  {0x17,          {0,    0,    0,    0x17}},   // I
  {0x18,          {0,    0,    0,    0x18}},   // O
  {0x19,          {0,    0,    0,    0x19}},   // P
  {0x1A,          {0,    0,    0,    0x1A}},   // [
  {0x1B,          {0,    0,    0,    0x1B}},   // ]
  {SCAN_RETURN,   {0,    0,    0,    0x1C}},   // Enter
  {SCAN_CONTROL,  {0,    0,    0,    0   }},   // Ctrl
  {0x1E,          {0,    0,    0,    0x1E}},   // A
  {0x1F,          {0,    0,    0,    0x1F}},   // S
  {0x20,          {0,    0,    0,    0x20}},   // D
  {0x21,          {0,    0,    0,    0x21}},   // F
  {0x22,          {0,    0,    0,    0x22}},   // G
  {0x23,          {0,    0,    0,    0x23}},   // H
  {0x24,          {0,    0,    0,    0x24}},   // J
  {0x25,          {0,    0,    0,    0x25}},   // K
  {0x26,          {0,    0,    0,    0x26}},   // L
  {0x27,          {0,    0,    0,    0x27}},   // ;
  {0x28,          {0,    0,    0,    0x28}},   // '
  {0x29,          {0,    0,    0,    0x29}},   // grave accent
  {SCAN_LSHIFT,   {0,    0,    0,    0   }},   // left Shift
  {0x2B,          {0,    0,    0,    0   }},   // backslash
  {0x2C,          {0,    0,    0,    0x2C}},   // Z
  {0x2D,          {0,    0,    0,    0x2D}},   // X
  {0x2E,          {0,    0,    0,    0x2E}},   // C
  {0x2F,          {0,    0,    0,    0x2F}},   // V
  {0x30,          {0,    0,    0,    0x30}},   // B
  {0x31,          {0,    0,    0,    0x31}},   // N
  {0x32,          {0,    0,    0,    0x32}},   // M
  {0x33,          {0,    0,    0,    0x33}},   // ,
  {0x34,          {0,    0,    0,    0x34}},   // .
  {0x35,          {0,    0,    0,    0x35}},   // /
  {SCAN_RSHIFT,   {0,    0,    0,    0   }},   // right Shift
  {SCAN_MULTIPLY, {0,    0,    0,    0   }},   // keypad *
  {SCAN_MENU,     {0,    0,    0,    0   }},   // Alt
  {SCAN_SPACE,    {0,    0,    0,    0   }},   // Space
  {SCAN_CAPITAL,  {0,    0,    0,    0   }},   // Caps Lock
  {SCAN_F1 + 0,   {0x3B, 0x54, 0x5E, 0x68}},   // F1
  {SCAN_F1 + 1,   {0x3C, 0x55, 0x5F, 0x69}},   // F2
  {SCAN_F1 + 2,   {0x3D, 0x56, 0x60, 0x6A}},   // F3
  {SCAN_F1 + 3,   {0x3E, 0x57, 0x61, 0x6B}},   // F4
  {SCAN_F1 + 4,   {0x3F, 0x58, 0x62, 0x6C}},   // F5
  {SCAN_F1 + 5,   {0x40, 0x59, 0x63, 0x6D}},   // F6
  {SCAN_F1 + 6,   {0x41, 0x5A, 0x64, 0x6E}},   // F7
  {SCAN_F1 + 7,   {0x42, 0x5B, 0x65, 0x6F}},   // F8
  {SCAN_F1 + 8,   {0x43, 0x5C, 0x66, 0x70}},   // F9
  {SCAN_F1 + 9,   {0x44, 0x5D, 0x67, 0x71}},   // F10
  {SCAN_NUMLOCK,  {0,    0,    0,    0   }},   // Num Lock
  {SCAN_SCROLL,   {0,    0,    0,    0   }},   // Scroll Lock
  {SCAN_HOME,     {0x47, 0,    0x77, 0   }},   // keypad 7 / Home
  {SCAN_UP,       {0x48, 0,    0x8D, 0   }},   // keypad 8 / Up
  {SCAN_PRIOR,    {0x49, 0,    0x84, 0   }},   // keypad 9 / Page Up
  {SCAN_SUBTRACT, {0,    0,    0,    0   }},   // keypad -
  {SCAN_LEFT,     {0x4B, 0,    0x73, 0   }},   // keypad 4 / Left
  {SCAN_CLEAR,    {0x4C, 0,    0x8F, 0x4C}},   // keypad 5
  {SCAN_RIGHT,    {0x4D, 0,    0x74, 0   }},   // keypad 6 / Right
  {SCAN_ADD,      {0,    0,    0,    0   }},   // keypad +
  {SCAN_END,      {0x4F, 0,    0x75, 0   }},   // keypad 1 / End
  {SCAN_DOWN,     {0x50, 0,    0x91, 0   }},   // keypad 2 / Down
  {SCAN_NEXT,     {0x51, 0,    0x76, 0   }},   // keypad 3 / Page Down
  {SCAN_INSERT,   {0x52, 0,    0x92, 0   }},   // keypad 0 / Insert
  {SCAN_DELETE,   {0x53, 0,    0x93, 0   }},   // keypad . / Delete
  {0x54,          {0,    0,    0,    0   }},   // -
  {0x55,          {0,    0,    0,    0   }},   // -
  {0x56,          {0,    0,    0,    0   }},   // -
  {SCAN_F11,      {0x85, 0x87, 0x89, 0x8B}},   // F11
  {SCAN_F12,      {0x86, 0x88, 0x8A, 0x8C}},   // F12
};
// clang-format on

constexpr size_t SCAN_KEY_ROWS = 89;
static_assert(std::size(ScanKeyTable) == SCAN_KEY_ROWS);

constexpr bool scan_rows_in_order() {
  for (size_t i = 0; i < std::size(ScanKeyTable); ++i)
    if (ScanKeyTable[i].sc != i) return false;
  return true;
}
static_assert(scan_rows_in_order(), "row i must stand for scan code i");

// An enhanced key with character 0: a key code per column.
struct EnhancedKeyRow {
  uint8_t sc;
  KeyCode code[4];
};

constexpr KeyCode chr_key(int c) { return c; }
constexpr KeyCode ext_key(int n) { return extended_key(n); }

// clang-format off
constexpr EnhancedKeyRow EnhancedKeyTable[] = {
  // sc            none           shift          ctrl           alt              key
  {SCAN_RETURN, {chr_key(13),   chr_key(13),   chr_key(10),   ext_key(0xA6)}},   // keypad Enter
  {SCAN_DIVIDE, {chr_key(47),   chr_key(63),   ext_key(0x95), ext_key(0xA4)}},   // keypad /
  {SCAN_HOME,   {ext_key(0x47), ext_key(0x47), ext_key(0x77), ext_key(0x97)}},   // Home
  {SCAN_UP,     {ext_key(0x48), ext_key(0x48), ext_key(0x8D), ext_key(0x98)}},   // Up
  {SCAN_PRIOR,  {ext_key(0x49), ext_key(0x49), ext_key(0x84), ext_key(0x99)}},   // Page Up
  {SCAN_LEFT,   {ext_key(0x4B), ext_key(0x4B), ext_key(0x73), ext_key(0x9B)}},   // Left
  {SCAN_RIGHT,  {ext_key(0x4D), ext_key(0x4D), ext_key(0x74), ext_key(0x9D)}},   // Right
  {SCAN_END,    {ext_key(0x4F), ext_key(0x4F), ext_key(0x75), ext_key(0x9F)}},   // End
  {SCAN_DOWN,   {ext_key(0x50), ext_key(0x50), ext_key(0x91), ext_key(0xA0)}},   // Down
  {SCAN_NEXT,   {ext_key(0x51), ext_key(0x51), ext_key(0x76), ext_key(0xA1)}},   // Page Down
  {SCAN_INSERT, {ext_key(0x52), ext_key(0x52), ext_key(0x92), ext_key(0xA2)}},   // Insert
  {SCAN_DELETE, {ext_key(0x53), ext_key(0x53), ext_key(0x93), ext_key(0xA3)}},   // Delete
};
// clang-format on

static_assert(std::size(EnhancedKeyTable) == 12);

}  // namespace zw
