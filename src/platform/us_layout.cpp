#include "platform/us_layout.h"

namespace zw {

unsigned us_layout_vk_char(unsigned vk) {
  if (vk >= 'A' && vk <= 'Z') return vk;
  if (vk >= '0' && vk <= '9') return vk;
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return '0' + (vk - VK_NUMPAD0);
  switch (vk) {
    case VK_BACK: return 8;
    case VK_TAB: return 9;
    case VK_RETURN: return 13;
    case VK_ESCAPE: return 27;
    case VK_SPACE: return ' ';
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    case VK_OEM_1: return ';';
    case VK_OEM_PLUS: return '=';
    case VK_OEM_COMMA: return ',';
    case VK_OEM_MINUS: return '-';
    case VK_OEM_PERIOD: return '.';
    case VK_OEM_2: return '/';
    case VK_OEM_3: return '`';
    case VK_OEM_4: return '[';
    case VK_OEM_5: return '\\';
    case VK_OEM_6: return ']';
    case VK_OEM_7: return '\'';
    case VK_OEM_102: return '\\';
    default: return 0;
  }
}

namespace {

// US layout: character -> virtual key, scan code, shift needed.
struct UsKey {
  uint16_t vk;
  uint16_t scan;
  bool shift;
};

UsKey us_key_for(uint8_t ch) {
  static const char kRow1[] = "1234567890-=";
  static const char kRow1Shift[] = "!@#$%^&*()_+";
  static const uint16_t kRow1Vk[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0',
                                     VK_OEM_MINUS, VK_OEM_PLUS};
  static const char kLetters[] = "qwertyuiopasdfghjklzxcvbnm";
  static const uint16_t kLetterScan[] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16,
                                         0x17, 0x18, 0x19, 0x1E, 0x1F, 0x20, 0x21,
                                         0x22, 0x23, 0x24, 0x25, 0x26, 0x2C, 0x2D,
                                         0x2E, 0x2F, 0x30, 0x31, 0x32};
  struct Punct { char plain, shifted; uint16_t vk, scan; };
  static const Punct kPunct[] = {
      {'[', '{', VK_OEM_4, 0x1A}, {']', '}', VK_OEM_6, 0x1B},
      {';', ':', VK_OEM_1, 0x27}, {'\'', '"', VK_OEM_7, 0x28},
      {'`', '~', VK_OEM_3, 0x29}, {'\\', '|', VK_OEM_5, 0x2B},
      {',', '<', VK_OEM_COMMA, 0x33}, {'.', '>', VK_OEM_PERIOD, 0x34},
      {'/', '?', VK_OEM_2, 0x35},
  };
  for (int i = 0; i < 12; ++i) {
    if (ch == static_cast<uint8_t>(kRow1[i])) return {kRow1Vk[i], static_cast<uint16_t>(2 + i), false};
    if (ch == static_cast<uint8_t>(kRow1Shift[i])) return {kRow1Vk[i], static_cast<uint16_t>(2 + i), true};
  }
  for (int i = 0; i < 26; ++i) {
    if (ch == static_cast<uint8_t>(kLetters[i])) return {static_cast<uint16_t>('A' + (kLetters[i] - 'a')), kLetterScan[i], false};
    if (ch == static_cast<uint8_t>(kLetters[i] - 32)) return {static_cast<uint16_t>('A' + (kLetters[i] - 'a')), kLetterScan[i], true};
  }
  for (const Punct& p : kPunct) {
    if (ch == static_cast<uint8_t>(p.plain)) return {p.vk, p.scan, false};
    if (ch == static_cast<uint8_t>(p.shifted)) return {p.vk, p.scan, true};
  }
  switch (ch) {
    case ' ': return {VK_SPACE, 0x39, false};
    case 8: return {VK_BACK, 0x0E, false};
    case 9: return {VK_TAB, 0x0F, false};
    case 13: return {VK_RETURN, 0x1C, false};
    case 27: return {VK_ESCAPE, 0x01, false};
    default: return {0, 0, false};
  }
}

}  // namespace

KeyEventRecord key_event_for_char(uint8_t ch) {
  UsKey k = us_key_for(ch);
  KeyEventRecord ev;
  ev.key_down = true;
  ev.repeat_count = 1;
  ev.virtual_key = k.vk;
  ev.scan_code = k.scan;
  ev.ch = ch;
  ev.control_state = k.shift ? uint32_t{SHIFT_PRESSED} : 0u;
  return ev;
}

}  // namespace zw
