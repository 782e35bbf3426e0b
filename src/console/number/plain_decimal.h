// The grammar of a plain decimal, the kind of number most items are: an
// optional sign, digits with at most one point among them, then an
// optional exponent ("e" or "E", an optional sign, up to 5 digits). Every
// road that reads a number reads it through this one; inline, as the piped
// road reads most items with it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "console/number/byte_words.h"

namespace zw {

// A plain decimal as read: its value is digits * 10^scale, or lies
// strictly between that and (digits + 1) * 10^scale when `more`.
struct PlainDecimal {
  uint64_t digits = 0;  // the first 19 significant digits, or all when fewer
  int32_t scale = 0;
  int32_t count = 0;    // digits read, zeros in front included; 0: no number
  bool negative = false;
  bool sign = false;    // a "+" or "-" was written
  bool integer = true;  // no point and no exponent
  bool more = false;    // a digit other than 0 after the first 19 significant ones
  const char* stop = nullptr;  // the byte after the number
};

inline constexpr uint64_t TEN_TO[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The digit reader: adds the run of digits at `p` (before `end`) to
// `digits` and returns the byte after it, eight bytes a word; 8 bytes past
// `end` must be readable. Past 19 digits the value wraps; the grammar reads
// such a run again.
[[gnu::always_inline]] inline const char* read_digits(const char* p, const char* end, uint64_t* digits) {
  if constexpr (std::endian::native != std::endian::little) {
    for (; p < end && static_cast<unsigned char>(*p - '0') < 10; ++p) *digits = *digits * 10 + (*p - '0');
    return p;
  }
  for (;;) {
    uint64_t x;
    std::memcpy(&x, p, sizeof x);
    uint64_t other = bytes_outside(x, '0', '9');
    const ptrdiff_t left = end - p;
    if (left < 8) other |= bytes_from(left);
    const int k = std::countr_zero(other) / 8;
    if (k == 0) return p;
    // The k digits moved to the top of the word, zeros in front of them (a
    // borrow from a byte after them is shifted out); then pairs, fours and
    // the eight.
    uint64_t v = (x - ONES * '0') << (8 * (8 - k));
    v = v * 10 + (v >> 8);
    v = ((v & 0x000000FF000000FF) * (100 + (1000000ULL << 32)) +
         ((v >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32))) >> 32;
    *digits = *digits * TEN_TO[k] + v;
    p += k;
    if (k < 8) return p;
  }
}

// The exponent after "e" or "E": an optional sign and up to 5 digits,
// added to *scale. Where it stops; nullptr when it has no digit.
[[gnu::always_inline]] inline const char* read_exponent(const char* p, const char* end, int32_t* scale) {
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  int32_t exponent = 0;
  int digits = 0;
  for (; p < end && *p >= '0' && *p <= '9' && digits < 5; ++p, ++digits) {
    exponent = exponent * 10 + (*p - '0');
  }
  if (digits == 0) return nullptr;
  *scale += negative ? -exponent : exponent;
  return p;
}

// The digits from `p` to `last` (digits and at most one point) read again,
// for more than 19 of them: the first 19 significant ones, the power of ten
// of the last of them, and whether a digit after them is not zero.
struct LongDigits {
  uint64_t digits;
  int32_t scale;
  bool more;
};
LongDigits read_long_digits(const char* p, const char* last);

// Reads a plain decimal from `p`, before `end`. The digits are read a word
// at a time: 8 bytes past `end` must be readable.
[[gnu::always_inline]] inline PlainDecimal read_plain_decimal(const char* p, const char* end) {
  // Read into locals, which stay in registers, and made a record once.
  PlainDecimal d;
  d.stop = p;
  d.negative = p < end && *p == '-';
  d.sign = d.negative || (p < end && *p == '+');
  p += d.sign ? 1 : 0;
  const char* const first = p;
  uint64_t digits = 0;
  p = read_digits(p, end, &digits);
  int32_t count = static_cast<int32_t>(p - first);
  // Most numbers are integers of a few digits, ended here.
  if ((p == end || (*p != '.' && (*p | 0x20) != 'e')) && count > 0 && count <= 19) {
    d.digits = digits;
    d.count = count;
    d.stop = p;
    return d;
  }
  int32_t scale = 0;
  if (p < end && *p == '.') {
    d.integer = false;
    const char* const fraction = ++p;
    p = read_digits(p, end, &digits);
    scale = -static_cast<int32_t>(p - fraction);
    count -= scale;
  }
  if (count == 0) return d;
  if (count > 19) {
    const LongDigits long_digits = read_long_digits(first, p);
    digits = long_digits.digits;
    scale = long_digits.scale;
    d.more = long_digits.more;
  }
  if (p < end && (*p | 0x20) == 'e') {
    if (const char* after = read_exponent(p + 1, end, &scale)) {
      p = after;
      d.integer = false;
    }
  }
  d.digits = digits;
  d.scale = scale;
  d.count = count;
  d.stop = p;
  return d;
}

// digits * 10^scale, negative if asked, correctly rounded, for any plain
// decimal but the short integers, by the roads of this build
// (number_input.cpp); false where none of them can trust the rounding.
bool scale_plain_decimal(uint64_t digits, int32_t scale, bool negative, double* value);
// The same for a number strictly between digits * 10^scale and
// (digits + 1) * 10^scale: where both round alike.
bool scale_long_decimal(uint64_t digits, int32_t scale, bool negative, double* value);

// The number `d` stands for, as an item of exactly its bytes converts: an
// integer of up to 18 bytes, its sign included, exactly, as the 64-bit
// integer road makes it; anything else correctly rounded. False where the
// text holds no number, or where no road of this build can trust its
// rounding: the library decides then, from the text.
[[gnu::always_inline]] inline bool plain_decimal_to_double(const PlainDecimal& d, double* value) {
  if (d.count == 0) return false;
  if (d.integer && d.count + (d.sign ? 1 : 0) <= 18) {
    const int64_t whole = static_cast<int64_t>(d.digits);
    *value = static_cast<double>(d.negative ? -whole : whole);
    return true;
  }
  return d.more ? scale_long_decimal(d.digits, d.scale, d.negative, value)
                : scale_plain_decimal(d.digits, d.scale, d.negative, value);
}

}  // namespace zw
