#include "console/output/number_text.h"

#include <charconv>
#include <cstring>
#include <system_error>

namespace zw {

namespace {
constexpr int CONVERSION_ROOM = NUMBER_DIGITS + 8;  // 24 bytes
}

int format_number(double value, bool leading_blank, char* out) {
  // The general conversion with 16 significant digits; to_chars gives the
  // same text as "%.16g" in the "C" locale, whatever locale is set.
  char text[CONVERSION_ROOM];
  auto [end, ec] = std::to_chars(text, text + CONVERSION_ROOM, value, std::chars_format::general,
                                 NUMBER_DIGITS);
  if (ec != std::errc()) return 0;
  int length = static_cast<int>(end - text);
  if (length <= 0 || length >= CONVERSION_ROOM) return 0;
  if (text[length - 1] == '.') --length;
  int start = 0;
  if (leading_blank && text[0] != '-') out[start++] = ' ';
  std::memcpy(out + start, text, static_cast<size_t>(length));
  return start + length;
}

}  // namespace zw
