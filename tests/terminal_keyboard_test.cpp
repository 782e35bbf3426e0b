// The terminal's key decoder and the keyboard's translation together: what
// the program finally sees for what the user typed on a terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console.h"
#include "console/input/keyboard.h"
#include "console/console_binding.h"
#include "platform/posix/kitty_keys.h"
#include "platform/posix/terminal_keys.h"
#include "platform/us_layout.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

TEST(TerminalKeyboard, TranslateToTheProgramsKeyCodes) {
  struct CodeCase {
    const char* bytes;
    KeyCode want;
  };
  const CodeCase cases[] = {
      {"\x1b[A", extended_key(0x48)},     {"\x1bOB", extended_key(0x50)},
      {"\x1b[1~", extended_key(0x47)},    {"\x1b[F", extended_key(0x4F)},
      {"\x1b[3~", extended_key(0x53)},    {"\x1b[1;5D", extended_key(0x73)},
      {"\x1b\x1b[A", extended_key(0x98)}, {"\x1b[Z", extended_key(0x0F)},
      {"\x1bOP", extended_key(0x3B)},     {"\x1b[1;2P", extended_key(0x54)},
      {"\x1b[1;3S", CLOSE_KEY},           {"\x1b[24~", extended_key(0x86)},
      {"\x1b" "a", extended_key(0x1E)},   {"\x1b\x7f", extended_key(0xE0)},
      {"\x1bOx", '8'},                    {"\x1bOM", 13},
      {"\r", 13},                         {"\n", 10},
      {"\x7f", 8},                        {"\t", 9},
      {"\x01", 1},                        {"A", 'A'},
      {"\xc3\xa4", 0xE4},                {"\xe2\x82\xac", 0x80},
  };
  for (const CodeCase& c : cases) {
    KeyDecoder d;
    reset_key_decoder(d, TextMode::UTF8);
    std::vector<KeyEventRecord> keys;
    decode_key_bytes(d, c.bytes, std::string(c.bytes).size(), &keys);
    ASSERT_EQ(keys.size(), 1u) << c.bytes + 1;
    const KeyEventRecord& k = keys[0];
    EXPECT_EQ(translate_key_event(k.ch, k.scan_code, k.control_state,
                                  us_layout_vk_char(k.virtual_key)),
              c.want)
        << c.bytes + 1;
  }
  // Escape alone, at the deadline.
  KeyDecoder d;
  reset_key_decoder(d, TextMode::UTF8);
  std::vector<KeyEventRecord> keys;
  decode_key_bytes(d, "\x1b", 1, &keys);
  decode_key_deadline(d, &keys);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(translate_key_event(keys[0].ch, keys[0].scan_code, keys[0].control_state,
                                us_layout_vk_char(keys[0].virtual_key)),
            27);
}

// Keys as a terminal with the kitty keyboard protocol reports them, through
// the keyboard's pump: press and release, so that Alt+keypad entry works.
TEST(TerminalKeyboard, KittyReportsThroughTheKeyboard) {
  struct Case {
    const char* name;
    const char* stream;  // control sequences, one after another
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"Alt, keypad 6 5 with Num Lock, Alt let go",
       "\x1b[57443;129u\x1b[57405;131u\x1b[57405;131:3u\x1b[57404;131u\x1b[57404;131:3u\x1b[57443;3:3u",
       {"A"}},
      {"Alt held, keypad 6 5, then x", "\x1b[57443u\x1b[57405;131u\x1b[57404;131u\x1b[120;3u", {"\xff\x2d"}},
      {"Escape, at once h", "\x1b[27u\x1b[104;;104u\x1b[27;1:3u\x1b[104;1:3u", {"\x1b", "h"}},
      {"keypad 8: Num Lock on, off, gray Up",
       "\x1b[57407;129u\x1b[57419u\x1b[A", {"8", "\xff\x48", "\xff\x48"}},
      {"Ctrl+Enter, keypad Enter, Shift+Tab, Alt+a",
       "\x1b[13;5u\x1b[57414u\x1b[9;2u\x1b[97;3u", {"\n", "\r", "\xff\x0f", "\xff\x1e"}},
  };
  for (const Case& c : cases) {
    VirtualConsole vc(80, 25, 25);
    auto con = std::make_unique<Console>();
    reset_console(*con, &vc);
    KittyKeyState s;
    const std::string stream = c.stream;
    for (size_t i = 0; i < stream.size();) {
      size_t end = i + 2;
      while (stream[end] >= 0x20 && stream[end] <= 0x3F) ++end;
      std::vector<KeyEventRecord> events;
      ASSERT_TRUE(decode_kitty_sequence(s, stream.data() + i + 2, end - i - 2, stream[end], &events)) << c.name;
      for (const KeyEventRecord& k : events) {
        InputRecord r;
        r.key = k;
        vc.push_event(r);
      }
      i = end + 1;
    }
    std::vector<std::string> got;
    for (KeyText t; (t = poll_key(*con)).length != 0;) got.emplace_back(t.view());
    EXPECT_EQ(got, c.want) << c.name;
    remove_ctrl_handler(*con);
  }
}

}  // namespace
}  // namespace zw
