#include "platform/terminal_text.h"

#include <gtest/gtest.h>

#include <string>

namespace zw {
namespace {

TEST(TerminalText, GlyphsTakeOneCellAndNeverAControlByte) {
  struct GlyphCase {
    uint8_t byte;
    TextMode mode;
    const char* want;
  };
  const GlyphCase cases[] = {
      {'a', TextMode::UTF8, "a"},
      {0xE4, TextMode::UTF8, "\xc3\xa4"},
      {0x80, TextMode::UTF8, "\xe2\x82\xac"},
      {0x9F, TextMode::UTF8, "\xc5\xb8"},
      {0x81, TextMode::UTF8, "\xef\xbf\xbd"},
      {0x00, TextMode::UTF8, "\xe2\x90\x80"},
      {0x0B, TextMode::UTF8, "\xe2\x90\x8b"},
      {0x1B, TextMode::UTF8, "\xe2\x90\x9b"},
      {0x7F, TextMode::UTF8, "\xe2\x90\xa1"},
      {0xE4, TextMode::SINGLE_BYTE, "\xe4"},
      {0x0C, TextMode::SINGLE_BYTE, "?"},
      {0x9B, TextMode::SINGLE_BYTE, "?"},
      {'a', TextMode::ASCII, "a"},
      {0xE4, TextMode::ASCII, "?"},
      {0x80, TextMode::ASCII, "?"},
      {0x1B, TextMode::ASCII, "?"},
  };
  for (const GlyphCase& c : cases) {
    char out[4];
    const size_t n = cell_glyph(c.byte, c.mode, out);
    EXPECT_EQ(std::string(out, n), c.want) << "byte " << int(c.byte);
  }
}

// Text written to a terminal as to a file: control bytes stay controls.
TEST(TerminalText, TextForATerminalInItsEncoding) {
  struct Case {
    std::string bytes;
    TextMode mode;
    std::string want;
  };
  const Case cases[] = {
      {"a\xe4\r\n\a\b", TextMode::UTF8, "a\xc3\xa4\r\n\a\b"},
      {"\x80\x81", TextMode::UTF8, "\xe2\x82\xac\xef\xbf\xbd"},
      {"a\xe4\x9b\r\n", TextMode::SINGLE_BYTE, "a\xe4?\r\n"},
      {"a\xe4\x9b\r\n", TextMode::ASCII, "a??\r\n"},
  };
  for (const Case& c : cases) {
    std::string out;
    append_terminal_text(c.bytes.data(), c.bytes.size(), c.mode, &out);
    EXPECT_EQ(out, c.want) << c.bytes;
  }
}

TEST(TerminalText, Windows1252RoundTrips) {
  for (int b = 0; b < 256; ++b) {
    const uint32_t cp = cp1252_to_unicode(static_cast<uint8_t>(b));
    if (cp == 0 && b != 0) continue;  // undefined in the code page
    EXPECT_EQ(unicode_to_cp1252(cp), b);
  }
  EXPECT_EQ(unicode_to_cp1252(0x2192), -1);
  EXPECT_EQ(unicode_to_cp1252(0x81), -1);
}

}  // namespace
}  // namespace zw
