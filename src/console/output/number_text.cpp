#include "console/output/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace zw {

namespace {
constexpr int CONVERSION_ROOM = NUMBER_DIGITS + 8;  // 24 bytes

// Whole numbers below 10^16 have at most 16 digits, so the general form
// writes them as plain digits: no point, no exponent, nothing rounded.
// They are most results, and digits from an integer are far cheaper than
// the general conversion. Negative zero keeps its sign.
int format_whole_number(double value, LeadingBlank blank, char* out) {
  const bool negative = std::signbit(value);
  uint64_t whole = static_cast<uint64_t>(negative ? -value : value);
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  int length = 0;
  if (negative) {
    out[length++] = '-';
  } else if (blank == LeadingBlank::ADD) {
    out[length++] = ' ';
  }
  while (n > 0) out[length++] = digits[--n];
  return length;
}

}  // namespace

int format_number(double value, LeadingBlank blank, char* out) {
  if (value > -1e16 && value < 1e16 &&
      static_cast<double>(static_cast<int64_t>(value)) == value) {
    return format_whole_number(value, blank, out);
  }
  // The general conversion with 16 significant digits; to_chars gives the
  // same text as "%.16g" in the "C" locale, whatever locale is set. Without
  // the "#" flag that form drops trailing zeros and a point with no digits
  // after it, so the text never ends in ".".
  char text[CONVERSION_ROOM];
  auto [end, ec] = std::to_chars(text, text + CONVERSION_ROOM, value, std::chars_format::general,
                                 NUMBER_DIGITS);
  if (ec != std::errc()) return 0;
  const int length = static_cast<int>(end - text);
  if (length <= 0 || length >= CONVERSION_ROOM) return 0;
  int start = 0;
  if (blank == LeadingBlank::ADD && text[0] != '-') out[start++] = ' ';
  std::memcpy(out + start, text, static_cast<size_t>(length));
  return start + length;
}

}  // namespace zw
