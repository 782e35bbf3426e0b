#include "platform/posix/kitty_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/us_layout.h"

namespace zw {
namespace {

struct Key {
  bool down;
  uint16_t vk;
  uint16_t scan;
  uint8_t ch;
  uint32_t state;
};

bool operator==(const Key& a, const Key& b) {
  return a.down == b.down && a.vk == b.vk && a.scan == b.scan && a.ch == b.ch && a.state == b.state;
}

void PrintTo(const Key& k, std::ostream* os) {
  *os << (k.down ? "down" : "up") << " vk=" << std::hex << k.vk << " scan=" << k.scan << " ch=" << int{k.ch}
      << " state=" << k.state;
}

constexpr uint32_t ENH = KeyState::ENHANCED;
constexpr uint32_t ALT = KeyState::LEFT_ALT;
constexpr uint32_t CTRL = KeyState::LEFT_CTRL;
constexpr uint32_t SHIFT = KeyState::SHIFT;
constexpr uint32_t NUM = KeyState::NUM_LOCK;

// Decodes the control sequences of `stream` ("ESC [" params final, one after
// another) with one state; false when one of them is no key report.
bool decode(const std::string& stream, std::vector<Key>* out) {
  KittyKeyState s;
  std::vector<KeyEventRecord> events;
  for (size_t i = 0; i < stream.size();) {
    if (stream.compare(i, 2, "\x1b[") != 0) return false;
    size_t end = i + 2;
    while (end < stream.size() && stream[end] >= 0x20 && stream[end] <= 0x3F) ++end;
    if (end == stream.size()) return false;
    if (!decode_kitty_sequence(s, stream.data() + i + 2, end - i - 2, stream[end], &events)) return false;
    i = end + 1;
  }
  for (const KeyEventRecord& e : events) out->push_back({e.key_down, e.virtual_key, e.scan_code, e.ch, e.control_state});
  return true;
}

TEST(KittyKeys, ReportsAsConsoleKeyEvents) {
  struct Case {
    const char* stream;
    std::vector<Key> want;
  };
  const Case cases[] = {
      // What kitty 0.26 sends with all five flags, key by key.
      {"\x1b[27u\x1b[27;1:3u", {{true, VKEY_ESCAPE, 0x01, 27, 0}, {false, VKEY_ESCAPE, 0x01, 27, 0}}},
      {"\x1b[113;;113u", {{true, 'Q', 0x10, 'q', 0}}},
      {"\x1b[113:81;2;81u", {{true, 'Q', 0x10, 'Q', SHIFT}}},
      {"\x1b[97;3u", {{true, 'A', 0x1E, 'a', ALT}}},
      {"\x1b[99;5u", {{true, 'C', 0x2E, 3, CTRL}}},
      {"\x1b[99;1:3u", {{false, 'C', 0x2E, 'c', 0}}},
      {"\x1b[119;5:2u", {{true, 'W', 0x11, 23, CTRL}}},  // repeat
      {"\x1b[93;5u", {{true, VKEY_OEM_6, 0x1B, 29, CTRL}}},
      {"\x1b[228;u", {{true, 0, 0, 0xE4, 0}}},  // a character with no US key
      {"\x1b[9;2u", {{true, VKEY_TAB, 0x0F, 9, SHIFT}}},
      {"\x1b[127u", {{true, VKEY_BACK, 0x0E, 8, 0}}},
      {"\x1b[13u\x1b[13;5u", {{true, VKEY_RETURN, 0x1C, 13, 0}, {true, VKEY_RETURN, 0x1C, 10, CTRL}}},
      // Gray keys and function keys in their older forms.
      {"\x1b[A\x1b[1;5D\x1b[1;1:3D", {{true, VKEY_UP, 0x48, 0, ENH}, {true, VKEY_LEFT, 0x4B, 0, ENH | CTRL},
                                      {false, VKEY_LEFT, 0x4B, 0, ENH}}},
      {"\x1b[H\x1b[F", {{true, VKEY_HOME, 0x47, 0, ENH}, {true, VKEY_END, 0x4F, 0, ENH}}},
      {"\x1b[3~\x1b[3;1:3~", {{true, VKEY_DELETE, 0x53, 0, ENH}, {false, VKEY_DELETE, 0x53, 0, ENH}}},
      {"\x1b[R\x1b[13~\x1b[1;2P", {{true, VKEY_F1 + 2, 0x3D, 0, 0}, {true, VKEY_F1 + 2, 0x3D, 0, 0},
                                   {true, VKEY_F1, 0x3B, 0, SHIFT}}},
      {"\x1b[24;3~", {{true, VKEY_F12, 0x58, 0, ALT}}},
      // The keypad: digits with Num Lock, none with Alt; Num Lock off moves;
      // Enter and / are gray keys.
      {"\x1b[57405;129u", {{true, VKEY_NUMPAD0 + 6, 0x4D, '6', NUM}}},
      {"\x1b[57399;131u", {{true, VKEY_NUMPAD0, 0x52, 0, ALT | NUM}}},
      {"\x1b[57418u\x1b[E", {{true, VKEY_RIGHT, 0x4D, 0, 0}, {true, 0x0C, 0x4C, 0, 0}}},
      {"\x1b[57414u\x1b[57410u", {{true, VKEY_RETURN, 0x1C, 13, ENH}, {true, VKEY_DIVIDE, 0x35, '/', ENH}}},
      {"\x1b[57411;129u", {{true, VKEY_MULTIPLY, 0x37, '*', NUM}}},
      // Another layout: the place from the base key, the character from the
      // text (German: z where US has y, ö on the ; key).
      {"\x1b[122::121;;122u", {{true, 'Y', 0x15, 'z', 0}}},
      {"\x1b[246::59;;246u", {{true, VKEY_OEM_1, 0x27, 0xF6, 0}}},
      {"\x1b[97;;97:98u", {{true, 'A', 0x1E, 'a', 0}, {true, 0, 0, 'b', 0}}},
      // Keys the console lacks are taken and give nothing.
      {"\x1b[57446u\x1b[57428u", {}},
  };
  for (const Case& c : cases) {
    std::vector<Key> got;
    EXPECT_TRUE(decode(c.stream, &got)) << testing::PrintToString(std::string(c.stream));
    EXPECT_EQ(got, c.want) << testing::PrintToString(std::string(c.stream));
  }
}

TEST(KittyKeys, ModifierKeysShowTheirOwnBitWhileHeld) {
  struct Case {
    const char* name;
    const char* stream;
    std::vector<Key> want;
  };
  const Case cases[] = {
      // Alt held, keypad 6 and 5 with Num Lock on, Alt let go: the release of
      // Alt carries no Alt bit, which ends the entry.
      {"alt keypad",
       "\x1b[57443;129u\x1b[57405;131u\x1b[57405;131:3u\x1b[57404;131u\x1b[57404;131:3u\x1b[57443;131:3u",
       {{true, VKEY_MENU, 0x38, 0, ALT | NUM},
        {true, VKEY_NUMPAD0 + 6, 0x4D, 0, ALT | NUM},
        {false, VKEY_NUMPAD0 + 6, 0x4D, 0, ALT | NUM},
        {true, VKEY_NUMPAD0 + 5, 0x4C, 0, ALT | NUM},
        {false, VKEY_NUMPAD0 + 5, 0x4C, 0, ALT | NUM},
        {false, VKEY_MENU, 0x38, 0, NUM}}},
      {"right ctrl",
       "\x1b[57448u\x1b[1;5D\x1b[57448;5:3u",
       {{true, VKEY_CONTROL, 0x1D, 0, ENH | KeyState::RIGHT_CTRL},
        {true, VKEY_LEFT, 0x4B, 0, ENH | KeyState::RIGHT_CTRL},
        {false, VKEY_CONTROL, 0x1D, 0, ENH}}},
      {"both ctrl keys, left let go",
       "\x1b[57442u\x1b[57448;5u\x1b[57442;5:3u",
       {{true, VKEY_CONTROL, 0x1D, 0, CTRL},
        {true, VKEY_CONTROL, 0x1D, 0, ENH | CTRL | KeyState::RIGHT_CTRL},
        {false, VKEY_CONTROL, 0x1D, 0, KeyState::RIGHT_CTRL}}},
      // A release the terminal never saw: the next key's bits win.
      {"stale right alt", "\x1b[57449u\x1b[97u\x1b[97;3u",
       {{true, VKEY_MENU, 0x38, 0, ENH | KeyState::RIGHT_ALT}, {true, 'A', 0x1E, 'a', 0}, {true, 'A', 0x1E, 'a', ALT}}},
      {"shift", "\x1b[57441u\x1b[57441;2:3u",
       {{true, VKEY_SHIFT, 0x2A, 0, SHIFT}, {false, VKEY_SHIFT, 0x2A, 0, 0}}},
  };
  for (const Case& c : cases) {
    std::vector<Key> got;
    EXPECT_TRUE(decode(c.stream, &got)) << c.name;
    EXPECT_EQ(got, c.want) << c.name;
  }
}

TEST(KittyKeys, OtherSequencesAreNoKeys) {
  struct Case {
    const char* params;
    char final;
  };
  const Case cases[] = {
      {"5;10", 'R'},      // a cursor report
      {"?31", 'u'},       // the flags answer
      {"", 'u'},          // no key
      {"1;5:4", 'u'},     // no such event
      {"1:2:3:4", 'u'},   // too many alternates
      {"97;1;97;1", 'u'}, // too many fields
      {"200", '~'},       // no such key
      {"2;5", 'A'},       // a letter form with a first parameter
      {"1", 'c'},         // not a key's final byte
      {"9999999", 'u'},   // beyond Unicode
      {"5", 'u'},         // a control code that is no key
  };
  for (const Case& c : cases) {
    KittyKeyState s;
    std::vector<KeyEventRecord> events;
    EXPECT_FALSE(decode_kitty_sequence(s, c.params, std::string(c.params).size(), c.final, &events))
        << c.params << c.final;
    EXPECT_TRUE(events.empty()) << c.params << c.final;
  }
  // Keys taken that give no event: a media key, and a character neither
  // the code page nor a US keyboard has (U+2716).
  for (const char* params : {"57428", "10006", "10006;1:3"}) {
    KittyKeyState s;
    std::vector<KeyEventRecord> events;
    EXPECT_TRUE(decode_kitty_sequence(s, params, std::string(params).size(), 'u', &events)) << params;
    EXPECT_TRUE(events.empty()) << params;
  }
}

TEST(KittyKeys, FlagsAnswer) {
  struct Case {
    const char* params;
    char final;
    int want;
  };
  const Case cases[] = {
      {"?31", 'u', 31}, {"?0", 'u', 0}, {"?", 'u', -1}, {"31", 'u', -1},
      {"?3a", 'u', -1}, {"?31", 'c', -1}, {"?1234567", 'u', -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(kitty_flags_answer(c.params, std::string(c.params).size(), c.final), c.want) << c.params << c.final;
}

}  // namespace
}  // namespace zw
