#include "platform/web/browser_keys.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <string>

#include "platform/us_layout.h"

namespace zw {
namespace {

constexpr uint32_t ENH = KeyState::ENHANCED;
constexpr uint32_t LCTRL = KeyState::LEFT_CTRL;
constexpr uint32_t LALT = KeyState::LEFT_ALT;

enum Mods : unsigned { NONE = 0, SHIFT = 1, CTRL = 2, ALT = 4, ALTGR = 8, NUMLOCK = 16, CAPS = 32 };

BrowserKey key(const char* code, uint32_t key_char, unsigned mods = NONE, bool down = true) {
  BrowserKey k;
  k.down = down;
  k.code = code;
  k.key_char = key_char;
  k.shift = mods & SHIFT;
  k.ctrl = mods & CTRL;
  k.alt = mods & ALT;
  k.alt_graph = mods & ALTGR;
  k.num_lock = mods & NUMLOCK;
  k.caps_lock = mods & CAPS;
  return k;
}

// What the native console reports for these keys on a US keyboard (a
// German one where the character says so).
TEST(BrowserKeys, RecordsAsTheConsoleReportsThem) {
  struct Case {
    BrowserKey key;
    uint16_t vk, scan;
    uint8_t ch;
    uint32_t state;
  };
  const Case cases[] = {
      {key("KeyA", 'a'), 'A', 0x1E, 'a', 0},
      {key("KeyA", 'A', SHIFT | CAPS), 'A', 0x1E, 'A', KeyState::SHIFT | KeyState::CAPS_LOCK},
      {key("KeyA", 'a', CTRL), 'A', 0x1E, 1, LCTRL},
      {key("KeyC", 'c', CTRL | SHIFT), 'C', 0x2E, 3, LCTRL | KeyState::SHIFT},
      {key("KeyA", 'a', ALT), 'A', 0x1E, 'a', LALT},
      {key("BracketLeft", '[', CTRL), VKEY_OEM_4, 0x1A, 27, LCTRL},
      {key("Minus", '_', CTRL | SHIFT), VKEY_OEM_MINUS, 0x0C, 31, LCTRL | KeyState::SHIFT},
      {key("Space", ' ', CTRL), VKEY_SPACE, 0x39, ' ', LCTRL},
      {key("Digit1", '1', CTRL), '1', 0x02, 0, LCTRL},
      {key("Enter", 0), VKEY_RETURN, 0x1C, 13, 0},
      {key("Enter", 0, CTRL), VKEY_RETURN, 0x1C, 10, LCTRL},
      {key("Backspace", 0, CTRL), VKEY_BACK, 0x0E, 0x7F, LCTRL},
      {key("Tab", 0, SHIFT), VKEY_TAB, 0x0F, 9, KeyState::SHIFT},
      {key("Escape", 0), VKEY_ESCAPE, 0x01, 27, 0},
      {key("Backquote", 0), VKEY_OEM_3, 0x29, 0, 0},  // a dead key
      {key("ArrowUp", 0), VKEY_UP, 0x48, 0, ENH},
      {key("Delete", 0, SHIFT), VKEY_DELETE, 0x53, 0, ENH | KeyState::SHIFT},
      {key("Numpad8", 0), VKEY_UP, 0x48, 0, 0},
      {key("Numpad8", '8', NUMLOCK), VKEY_NUMPAD0 + 8, 0x48, '8', KeyState::NUM_LOCK},
      {key("Numpad6", '6', ALT | NUMLOCK), VKEY_NUMPAD0 + 6, 0x4D, 0, LALT | KeyState::NUM_LOCK},
      {key("Numpad1", 0, SHIFT | NUMLOCK), VKEY_END, 0x4F, 0, KeyState::SHIFT | KeyState::NUM_LOCK},
      {key("NumpadDecimal", ',', NUMLOCK), VKEY_DECIMAL, 0x53, ',', KeyState::NUM_LOCK},
      {key("NumpadDecimal", 0), VKEY_DELETE, 0x53, 0, 0},
      {key("NumpadEnter", 0), VKEY_RETURN, 0x1C, 13, ENH},
      {key("NumpadEnter", 0, CTRL), VKEY_RETURN, 0x1C, 10, ENH | LCTRL},
      {key("NumpadDivide", '/'), VKEY_DIVIDE, 0x35, '/', ENH},
      {key("F1", 0), VKEY_F1, 0x3B, 0, 0},
      {key("F10", 0, SHIFT), VKEY_F1 + 9, 0x44, 0, KeyState::SHIFT},
      {key("F12", 0), VKEY_F12, 0x58, 0, 0},
      {key("Pause", 0, CTRL), VKEY_CANCEL, 0x45, 0, LCTRL},
      {key("Quote", 0xE4), VKEY_OEM_7, 0x28, 0xE4, 0},
      {key("IntlBackslash", '<'), VKEY_OEM_102, 0x56, '<', 0},
      // AltGr, reported as such or as Ctrl+Alt: the layout's third
      // characters, and nothing where it has none.
      {key("Digit7", '{', ALTGR), '7', 0x08, '{', LCTRL | KeyState::RIGHT_ALT},
      {key("KeyE", 0x20AC, CTRL | ALT), 'E', 0x12, 0x80, LCTRL | LALT},
      {key("KeyA", 'a', CTRL | ALT), 'A', 0x1E, 0, LCTRL | LALT},
      {key("Digit1", '!', CTRL | ALT | SHIFT), '1', 0x02, 0, LCTRL | LALT | KeyState::SHIFT},
      // A character outside the code page types nothing; a key the page
      // cannot place types its character on the US key for it.
      {key("KeyL", 0x142), 'L', 0x26, 0, 0},
      {key("", 'e'), 'E', 0x12, 'e', 0},
      {key("Unidentified", 0xE9), 0, 0, 0xE9, 0},
  };
  for (const Case& c : cases) {
    HeldSides held;
    KeyEventRecord r;
    ASSERT_TRUE(browser_key_record(c.key, held, &r)) << c.key.code;
    EXPECT_EQ(r.virtual_key, c.vk) << c.key.code;
    EXPECT_EQ(r.scan_code, c.scan) << c.key.code;
    EXPECT_EQ(r.ch, c.ch) << c.key.code << " " << c.key.key_char;
    EXPECT_EQ(r.control_state, c.state) << c.key.code;
    EXPECT_TRUE(r.key_down);
    EXPECT_EQ(r.repeat_count, 1);
  }
  HeldSides held;
  KeyEventRecord r;
  EXPECT_FALSE(browser_key_record(key("MediaPlayPause", 0), held, &r));
  EXPECT_FALSE(browser_key_record(key("F13", 0), held, &r));
}

// The side of Ctrl and Alt follows the modifier keys' own events, and a
// side let go unseen is forgotten.
TEST(BrowserKeys, SidesOfCtrlAndAltFromTheirKeys) {
  HeldSides held;
  KeyEventRecord r;
  const struct {
    BrowserKey key;
    uint32_t state;
  } steps[] = {
      {key("ControlRight", 0, CTRL), KeyState::RIGHT_CTRL | ENH},
      {key("KeyA", 'a', CTRL), KeyState::RIGHT_CTRL},
      {key("ControlLeft", 0, CTRL), LCTRL | KeyState::RIGHT_CTRL},
      {key("ControlRight", 0, CTRL, false), LCTRL | ENH},
      {key("AltRight", 0, CTRL | ALT), LCTRL | KeyState::RIGHT_ALT | ENH},
      {key("KeyX", 'x', NONE), 0},
      {key("KeyX", 'x', CTRL | ALT), LCTRL | LALT},
  };
  for (const auto& s : steps) {
    ASSERT_TRUE(browser_key_record(s.key, held, &r));
    EXPECT_EQ(r.control_state, s.state) << s.key.code;
    EXPECT_EQ(r.key_down, s.key.down);
  }
}

// Scan codes against the Linux input layer's key numbers, which are the
// PC keyboard's scan codes for the keys without the 0xE0 prefix; a gray key
// has the scan code of the keypad key in its place.
TEST(BrowserKeys, ScanCodesAreThePcKeyboards) {
  const struct {
    const char* code;
    int linux_key;
  } keys[] = {
      {"Escape", KEY_ESC},        {"Digit1", KEY_1},          {"Digit0", KEY_0},
      {"Minus", KEY_MINUS},       {"Equal", KEY_EQUAL},       {"Backspace", KEY_BACKSPACE},
      {"Tab", KEY_TAB},           {"KeyQ", KEY_Q},            {"BracketRight", KEY_RIGHTBRACE},
      {"Enter", KEY_ENTER},       {"ControlLeft", KEY_LEFTCTRL}, {"KeyA", KEY_A},
      {"Semicolon", KEY_SEMICOLON}, {"Quote", KEY_APOSTROPHE}, {"Backquote", KEY_GRAVE},
      {"ShiftLeft", KEY_LEFTSHIFT}, {"Backslash", KEY_BACKSLASH}, {"KeyZ", KEY_Z},
      {"KeyM", KEY_M},            {"Slash", KEY_SLASH},       {"ShiftRight", KEY_RIGHTSHIFT},
      {"NumpadMultiply", KEY_KPASTERISK}, {"AltLeft", KEY_LEFTALT}, {"Space", KEY_SPACE},
      {"CapsLock", KEY_CAPSLOCK}, {"F1", KEY_F1},             {"F10", KEY_F10},
      {"NumLock", KEY_NUMLOCK},   {"ScrollLock", KEY_SCROLLLOCK}, {"Numpad7", KEY_KP7},
      {"Numpad8", KEY_KP8},       {"Numpad9", KEY_KP9},       {"NumpadSubtract", KEY_KPMINUS},
      {"Numpad4", KEY_KP4},       {"Numpad5", KEY_KP5},       {"Numpad6", KEY_KP6},
      {"NumpadAdd", KEY_KPPLUS},  {"Numpad1", KEY_KP1},       {"Numpad2", KEY_KP2},
      {"Numpad3", KEY_KP3},       {"Numpad0", KEY_KP0},       {"NumpadDecimal", KEY_KPDOT},
      {"IntlBackslash", KEY_102ND}, {"F11", KEY_F11},         {"F12", KEY_F12},
      // Gray keys: their keypad twins.
      {"Home", KEY_KP7},          {"ArrowUp", KEY_KP8},       {"PageUp", KEY_KP9},
      {"ArrowLeft", KEY_KP4},     {"ArrowRight", KEY_KP6},    {"End", KEY_KP1},
      {"ArrowDown", KEY_KP2},     {"PageDown", KEY_KP3},      {"Insert", KEY_KP0},
      {"Delete", KEY_KPDOT},      {"NumpadEnter", KEY_ENTER}, {"NumpadDivide", KEY_SLASH},
      {"ControlRight", KEY_LEFTCTRL}, {"AltRight", KEY_LEFTALT},
  };
  for (const auto& k : keys) {
    HeldSides held;
    KeyEventRecord r;
    ASSERT_TRUE(browser_key_record(key(k.code, 0), held, &r)) << k.code;
    EXPECT_EQ(r.scan_code, k.linux_key) << k.code;
  }
}

}  // namespace
}  // namespace zw
