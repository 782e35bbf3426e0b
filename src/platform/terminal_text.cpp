#include "platform/terminal_text.h"

namespace zw {

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 where the code page defines none. Every
// other byte is the Unicode character of the same number.
constexpr uint16_t CP1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88..8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98..9F
};
static_assert(sizeof CP1252_HIGH / sizeof CP1252_HIGH[0] == 32);

// Control bytes show as the Unicode control pictures: U+2400 + byte for
// 0..31, U+2421 for 127. Undefined bytes show the replacement character.
constexpr uint32_t CONTROL_PICTURES = 0x2400;
constexpr uint32_t DELETE_PICTURE = 0x2421;
constexpr uint32_t REPLACEMENT = 0xFFFD;

}  // namespace

uint32_t cp1252_to_unicode(uint8_t byte) {
  if (byte >= 0x80 && byte <= 0x9F) return CP1252_HIGH[byte - 0x80];
  return byte;
}

int unicode_to_cp1252(uint32_t code_point) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) return static_cast<int>(code_point);
  for (int i = 0; i < 32; ++i) {
    if (CP1252_HIGH[i] != 0 && CP1252_HIGH[i] == code_point) return 0x80 + i;
  }
  return -1;
}

size_t encode_utf8(uint32_t cp, char out[4]) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

void append_terminal_text(const char* bytes, size_t count, TextMode mode, std::string* out) {
  for (size_t i = 0; i < count; ++i) {
    const auto byte = static_cast<uint8_t>(bytes[i]);
    if (byte < 0x80) {
      out->push_back(static_cast<char>(byte));
    } else if (mode != TextMode::UTF8) {
      out->push_back(byte <= 0x9F || mode == TextMode::ASCII ? '?' : static_cast<char>(byte));
    } else {
      char glyph[4];
      const uint32_t cp = cp1252_to_unicode(byte);
      out->append(glyph, encode_utf8(cp != 0 ? cp : REPLACEMENT, glyph));
    }
  }
}

size_t cell_glyph(uint8_t byte, TextMode mode, char out[4]) {
  const bool control = byte < 0x20 || byte == 0x7F;
  if (mode != TextMode::UTF8) {
    // C1 bytes are controls in the ISO 8859 code pages too.
    const bool shown = !control && (byte < 0x80 || (byte > 0x9F && mode == TextMode::SINGLE_BYTE));
    out[0] = shown ? static_cast<char>(byte) : '?';
    return 1;
  }
  if (byte < 0x20) return encode_utf8(CONTROL_PICTURES + byte, out);
  if (byte == 0x7F) return encode_utf8(DELETE_PICTURE, out);
  const uint32_t cp = cp1252_to_unicode(byte);
  return encode_utf8(cp != 0 ? cp : REPLACEMENT, out);
}

bool utf8_begin(Utf8Reader& r, uint8_t lead) {
  r = Utf8Reader{};
  if (lead >= 0xC2 && lead <= 0xDF) {
    r.need = 1;
    r.code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    r.need = 2;
    r.code_point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    r.need = 3;
    r.code_point = lead & 0x07;
  } else {
    return false;
  }
  r.bytes[0] = lead;
  r.taken = 1;
  return true;
}

Utf8Step utf8_continue(Utf8Reader& r, uint8_t b) {
  if ((b & 0xC0) != 0x80) return Utf8Step::NOT_CONTINUATION;
  // Overlong three- and four-byte forms, surrogates and values above
  // U+10FFFF show in the second byte.
  if (r.taken == 1) {
    const uint32_t lead = r.code_point;
    if ((r.need == 2 && lead == 0 && b < 0xA0) || (r.need == 2 && lead == 0x0D && b >= 0xA0) ||
        (r.need == 3 && lead == 0 && b < 0x90) || (r.need == 3 && lead == 4 && b >= 0x90)) {
      return Utf8Step::INVALID;
    }
  }
  r.code_point = (r.code_point << 6) | (b & 0x3F);
  r.bytes[r.taken++] = b;
  return --r.need > 0 ? Utf8Step::MORE : Utf8Step::CHARACTER;
}

}  // namespace zw
