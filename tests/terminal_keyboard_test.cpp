// The terminal's key decoder and the keyboard's translation together: what
// the program finally sees for what the user typed on a terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/input/keyboard.h"
#include "platform/posix/terminal_keys.h"
#include "platform/us_layout.h"

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

}  // namespace
}  // namespace zw
