#include "console/number/number_input.h"

#include <bit>
#include <cfloat>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>

#if defined(ZW_HAVE_FAST_FLOAT)
#include <fast_float/fast_float.h>
#endif

#include "console/number/powers_of_five.h"

// Short decimals are scaled by one x87 multiplication or division where
// long double is the x87 format and the power of ten is within 27 (fewer
// instructions than the integer road, and as fast); by a power of five cut
// to 128 bits where the compiler has a 128-bit integer, for every power of
// ten and for what the x87 leaves undecided; the rest by the library.
#if (defined(__x86_64__) || defined(__i386__)) && LDBL_MANT_DIG == 64
#define ZW_X87_SCALE 1
#endif
#if defined(__SIZEOF_INT128__)
#define ZW_WIDE_SCALE 1
#endif
#if defined(ZW_X87_SCALE) || defined(ZW_WIDE_SCALE)
#define ZW_SHORT_DECIMALS 1
#endif

namespace zw {

namespace {

int digit_value(int c, int radix) {
  int d;
  if (c >= '0' && c <= '9') {
    d = c - '0';
  } else if (c >= 'A' && c <= 'F') {
    d = c - 'A' + 10;
  } else if (c >= 'a' && c <= 'f') {
    d = c - 'a' + 10;
  } else {
    return -1;
  }
  return d < radix ? d : -1;
}

// Integer conversion shared by both widths: spaces, then an "&" radix form
// kept modulo 2^bits, else base 10 with strtoul rules.
template <typename Unsigned>
Unsigned text_to_unsigned(const char* text, int32_t length) {
  int32_t i = 0;
  while (i < length && text[i] == ' ') ++i;
  if (i >= length) return 0;
  if (length - i >= 2 && text[i] == '&') {
    unsigned radix = 8;
    int32_t start = i + 1;
    switch (text[i + 1]) {
      case 'H': case 'h': radix = 16; start = i + 2; break;
      case 'O': case 'o': radix = 8; start = i + 2; break;
      case 'B': case 'b': radix = 2; start = i + 2; break;
      default: break;
    }
    Unsigned value = 0;
    for (int32_t j = start; j < length; ++j) {
      const int d = digit_value(static_cast<unsigned char>(text[j]), static_cast<int>(radix));
      if (d < 0) break;
      value = static_cast<Unsigned>(value * radix + static_cast<Unsigned>(d));
    }
    return value;
  }
  // Plain digits, optionally negative, are the common case: items that get
  // here hold at most 18 of them, so the value cannot overflow. Everything
  // else (a "+", white space, no digits at all) takes the library road.
  const char* p = text + i;
  const char* end = text + length;
  const bool negative = *p == '-';
  const char* digits = negative ? p + 1 : p;
  if (digits < end && *digits >= '0' && *digits <= '9' && end - digits <= 18) {
    uint64_t value = 0;
    for (const char* d = digits; d < end && *d >= '0' && *d <= '9'; ++d) {
      value = value * 10 + static_cast<uint64_t>(*d - '0');
    }
    return static_cast<Unsigned>(negative ? 0 - value : value);
  }
  return static_cast<Unsigned>(std::strtoull(p, nullptr, 10));
}

constexpr uint64_t ONES = 0x0101010101010101;
constexpr uint64_t HIGH = ONES * 0x80;
constexpr uint64_t LOW7 = ONES * 0x7F;
constexpr uint64_t TEN_TO[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Adds the run of digits at `p` (before `end`) to `digits` and returns the
// byte after it, eight bytes a word: the caller has 8 bytes readable past
// `end`. Past 19 digits the value wraps; the caller gives up on such a run.
[[gnu::always_inline]] inline const char* add_digit_words(const char* p, const char* end, uint64_t* digits) {
  if constexpr (std::endian::native != std::endian::little) {
    for (; p < end && static_cast<unsigned char>(*p - '0') < 10; ++p) *digits = *digits * 10 + (*p - '0');
    return p;
  }
  for (;;) {
    uint64_t x;
    std::memcpy(&x, p, sizeof x);
    // Per byte, the high bit set where the byte is no digit or lies past end.
    const uint64_t low = x & LOW7;
    uint64_t other = ~((low + ONES * (0x80 - '0')) & ~(low + ONES * (0x7F - '9')) & ~x) & HIGH;
    const ptrdiff_t left = end - p;
    if (left < 8) other |= HIGH & ~((uint64_t{1} << (8 * left)) - 1);
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

#if defined(ZW_SHORT_DECIMALS)
#if defined(ZW_X87_SCALE)
constexpr long double TEN_POWERS[28] = {
    1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
    1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L,
    1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};  // exact: 5^27 < 2^64
#endif

// Eight ASCII digits at `p` as their number, or false if any byte is not
// a digit (the byte order of x86).
inline bool eight_digits(const char* p, uint64_t* value) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  const uint64_t nibbles = (v & 0xF0F0F0F0F0F0F0F0) | (((v + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4);
  if (nibbles != 0x3333333333333333) return false;
  v -= 0x3030303030303030;
  v = v * 10 + (v >> 8);  // pairs
  *value = ((v & 0x000000FF000000FF) * (100 + (1000000ULL << 32)) +
            ((v >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32))) >> 32;
  return true;
}

// Adds the run of digits at `p` to `digits` and returns the byte after it.
// Past 19 digits the value wraps; the caller gives up on such a run.
inline const char* add_digits(const char* p, const char* end, uint64_t* digits) {
  uint64_t eight;
  while (std::endian::native == std::endian::little && end - p >= 8 && eight_digits(p, &eight)) {
    *digits = *digits * 100000000 + eight;
    p += 8;
  }
  for (; p < end && static_cast<unsigned char>(*p - '0') < 10; ++p) {
    *digits = *digits * 10 + static_cast<uint64_t>(*p - '0');
  }
  return p;
}

#if defined(ZW_X87_SCALE)
// digits · 10^scale by the x87 unit, for at most 19 digits and a scale
// within 27: the digits and 10^k are exact in the extended format, so one
// multiplication or division rounds the exact value once, to 64 bits (the
// unit is set so). Rounding that to a double again gives the correctly
// rounded double unless the 64-bit result lies exactly halfway between two
// doubles: the true value cannot be on the other side of a halfway point
// without the 64-bit result landing on it. False then.
inline bool scale_by_x87(uint64_t digits, int scale, double* value) {
  if (scale < -27 || scale > 27) return false;
  const long double whole = static_cast<long double>(digits);
  const long double x = scale < 0 ? whole / TEN_POWERS[-scale] : whole * TEN_POWERS[scale];
  static_assert(sizeof(long double) >= 10);
  uint64_t significand;
  std::memcpy(&significand, &x, sizeof significand);  // the 64-bit significand comes first
  if ((significand & 0x7FF) == 0x400) return false;
  *value = static_cast<double>(x);
  return true;
}
#endif

#if defined(ZW_WIDE_SCALE)
// digits · 10^scale (digits above zero) from the power of five cut to 128
// bits. The product of the digits, moved up to fill 64 bits, with the cut
// power lies below the exact one by less than 2^64 units of its lowest bit,
// so its top 128 bits are exact or one too low. The rounding is certain
// unless the product is exactly halfway (the exact value may be above it)
// or its bits below the rounding bit are all ones with the rounding bit
// clear (the exact value may be halfway): with the rounding bit set, a
// carry into it rounds up the same. Exact decimals such as 1.5 come out
// that way. False when it is not certain, and for results that are
// subnormal, where the rounding falls elsewhere.
inline bool scale_by_cut_power(uint64_t digits, int scale, double* value) {
  if (scale < POWER_OF_FIVE_MIN) {  // below 10^-342 * 2^64: half the smallest subnormal
    *value = 0.0;
    return true;
  }
  if (scale > 308) {  // at least 10^309
    *value = std::numeric_limits<double>::infinity();
    return true;
  }
  using Wide = unsigned __int128;
  const int lead = std::countl_zero(digits);
  const uint64_t w = digits << lead;
  const PowerOfFive& p = power_of_five(scale);
  const Wide low = static_cast<Wide>(w) * p.low;
  const Wide top = static_cast<Wide>(w) * p.high + (low >> 64);  // the product >> 64, at least 2^126
  const int upper = static_cast<int>(top >> 127);  // 1: the top bit is bit 127, else 126
  const int cut = 73 + upper;  // bits below the rounding bit
  const Wide rest = top & ((static_cast<Wide>(1) << cut) - 1);
  const uint64_t kept = static_cast<uint64_t>(top >> cut);  // 53 bits and the rounding bit
  if (rest == (static_cast<Wide>(1) << cut) - 1 && (kept & 1) == 0) return false;
  if ((kept & 1) != 0 && rest == 0 && static_cast<uint64_t>(low) == 0) return false;
  // value = m * 2^(biased - 1075), 2^52 <= m <= 2^53; the exponent is taken
  // before rounding, so a subnormal that would round up to the smallest
  // normal is refused too.
  uint64_t m = (kept >> 1) + (kept & 1);
  int biased = scale + floor_log2_pow5(scale) - lead + cut + 1013;
  if (biased <= 0) return false;
  if (m == (1ULL << 53)) {
    m >>= 1;
    ++biased;
  }
  if (biased >= 0x7FF) {
    *value = std::numeric_limits<double>::infinity();
    return true;
  }
  *value = std::bit_cast<double>((static_cast<uint64_t>(biased) << 52) | (m & ((1ULL << 52) - 1)));
  return true;
}
#endif

// digits · 10^scale, negative if asked, for at most 19 digits; false when
// no road here can trust its rounding: the library conversion decides.
inline bool scaled_digits_to_double(uint64_t digits, int scale, bool negative, double* value) {
  double x = 0;
  bool done = digits == 0;
#if defined(ZW_X87_SCALE)
  done = done || scale_by_x87(digits, scale, &x);
#endif
#if defined(ZW_WIDE_SCALE)
  done = done || scale_by_cut_power(digits, scale, &x);
#endif
  if (!done) return false;
  *value = negative ? -x : x;
  return true;
}

// The exponent after "e" or "E": an optional sign and up to 5 digits,
// added to *scale. Where it stops; nullptr when it has no digit.
[[gnu::always_inline]] inline const char* add_exponent(const char* p, const char* end, int* scale) {
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  int exponent = 0;
  int digits = 0;
  for (; p < end && *p >= '0' && *p <= '9' && digits < 5; ++p, ++digits) {
    exponent = exponent * 10 + (*p - '0');
  }
  if (digits == 0) return nullptr;
  *scale += negative ? -exponent : exponent;
  return p;
}

// A decimal item of at most 19 digits, scaled by one of the roads above;
// false for every other text, and where no road can trust its rounding:
// the library conversion decides.
// PADDED: the caller has 8 bytes readable past the text.
template <bool PADDED>
bool short_decimal_to_double(const char* text, int32_t length, double* value) {
  const char* p = text;
  const char* end = text + length;
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  uint64_t digits = 0;
  const char* first = p;
  p = PADDED ? add_digit_words(p, end, &digits) : add_digits(p, end, &digits);
  int count = static_cast<int>(p - first);
  int scale = 0;  // the power of ten the digits are multiplied by
  if (p < end && *p == '.') {
    const char* fraction = ++p;
    p = PADDED ? add_digit_words(p, end, &digits) : add_digits(p, end, &digits);
    scale = -static_cast<int>(p - fraction);
    count -= scale;
  }
  if (count == 0 || count > 19) return false;
  if (p < end && (*p == 'e' || *p == 'E')) {
    p = add_exponent(p + 1, end, &scale);
    if (p == nullptr) return false;
  }
  if (p != end) return false;
  return scaled_digits_to_double(digits, scale, negative, value);
}
#endif

// A NaN spelled "nan" or "nan(chars)", built bit by bit: the quiet NaN of
// x86 and most processors (exponent all ones, top fraction bit set) with the
// sign as written and, when the chars are a whole number in C's notation
// (0x hexadecimal, 0 octal, else decimal), its low 51 bits as payload. A
// processor whose own quiet NaN is another pattern (MIPS' legacy one) thus
// reads the same bits as x86, and no floating-point instruction touches it.
// False, *value untouched, for any other text.
bool text_to_nan(const char* text, double* value) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  if (lower(p[0]) != 'n' || lower(p[1]) != 'a' || lower(p[2]) != 'n') return false;
  p += 3;
  uint64_t payload = 0;
  if (*p == '(') {
    const char* chars = p + 1;
    const char* close = chars;
    while ((*close >= '0' && *close <= '9') || (*close >= 'a' && *close <= 'z') ||
           (*close >= 'A' && *close <= 'Z') || *close == '_') {
      ++close;
    }
    if (*close == ')' && close != chars) {
      char* end = nullptr;
      const unsigned long long n = std::strtoull(chars, &end, 0);  // too large: all ones
      if (end == close) payload = n;
    }
  }
  constexpr uint64_t QUIET_NAN = 0x7FF8000000000000ULL;
  constexpr uint64_t FRACTION = (1ULL << 52) - 1;
  *value = std::bit_cast<double>((negative ? 1ULL << 63 : 0) | QUIET_NAN | (payload & FRACTION));
  return true;
}

}  // namespace

double item_to_double(const char* item, int32_t length, bool looks_float) {
  if (looks_float) {
#if defined(ZW_SHORT_DECIMALS)
    double value;
    if (short_decimal_to_double<false>(item, length, &value)) return value;
#endif
    return text_to_double(item);
  }
  if (length <= 9) return static_cast<double>(text_to_int32(item, length));
  if (length <= 18 || item[0] == '&') return static_cast<double>(text_to_int64(item, length));
  return text_to_double(item);
}

bool plain_item_to_double(const char* item, int32_t length, bool looks_float, double* value) {
  if (looks_float) {
#if defined(ZW_SHORT_DECIMALS)
    return short_decimal_to_double<true>(item, length, value);
#else
    return false;
#endif
  }
  // One digit, the most common item typed by hand, without the word.
  if (length == 1) {
    const unsigned digit = static_cast<unsigned char>(item[0] - '0');
    if (digit > 9) return false;
    *value = digit;
    return true;
  }
  // Up to 18 digits: the value is exact in 64 bits, as the integer roads
  // make it (below 10^9 the 32-bit road gives the same).
  const bool negative = length > 0 && item[0] == '-';
  const char* p = item + (negative ? 1 : 0);
  const char* const end = item + length;
  if (p == end || length > 18) return false;
  uint64_t digits = 0;
  if (add_digit_words(p, end, &digits) != end) return false;
  const int64_t whole = static_cast<int64_t>(digits);
  *value = static_cast<double>(negative ? -whole : whole);
  return true;
}

#if defined(ZW_SHORT_DECIMALS)
namespace {

// A plain number of more than 19 digits at `p` (after its sign): its first
// 19 significant digits w and the power of ten of the last of them, so that
// it lies in [w, w + 1) * 10^scale, strictly inside when a digit after them
// is not zero. Where both ends round to the same double, so does every
// number between them; elsewhere, and where a road cannot decide an end,
// the library decides.
[[gnu::noinline]] PlainNumber long_number_to_double(const char* p, const char* end, bool negative, double* value,
                                                    const char** stop) {
  uint64_t w = 0;
  int kept = 0;
  int scale = 0;
  bool more = false;  // a digit not zero after the kept ones
  for (int part = 0; part < 2; ++part) {  // the digits before the point, then after it
    for (; p < end && static_cast<unsigned char>(*p - '0') < 10; ++p) {
      if (kept < 19 && (kept > 0 || *p != '0')) {
        w = w * 10 + static_cast<uint64_t>(*p - '0');
        ++kept;
        scale -= part;
      } else if (kept < 19) {
        scale -= part;  // a zero in front
      } else {
        scale += 1 - part;
        more |= *p != '0';
      }
    }
    if (part == 1 || p == end || *p != '.') break;
    ++p;
  }
  if (p < end && (*p == 'e' || *p == 'E')) {
    p = add_exponent(p + 1, end, &scale);
    if (p == nullptr) return PlainNumber::NONE;
  }
  *stop = p;
  double low = 0;
  if (!scaled_digits_to_double(w, scale, negative, &low)) return PlainNumber::LIBRARY;
  if (more) {
    double high = 0;
    if (!scaled_digits_to_double(w + 1, scale, negative, &high) || high != low) return PlainNumber::LIBRARY;
  }
  *value = low;
  return PlainNumber::CONVERTED;
}

}  // namespace
#endif

PlainNumber plain_number_to_double(const char* p, const char* end, double* value, const char** stop) {
  const bool negative = p < end && *p == '-';
  const bool sign = p < end && (*p == '-' || *p == '+');
  if (sign) ++p;
  uint64_t digits = 0;
  const char* const first = p;
  p = add_digit_words(p, end, &digits);
  int count = static_cast<int>(p - first);
  *stop = p;
  if (p == end || (*p != '.' && *p != 'e' && *p != 'E')) {
    // An integer item: up to 18 bytes with the sign on the road of 64-bit
    // integers, as item_to_double takes it; longer ones are correctly
    // rounded as decimals on both roads.
    if (count == 0) return PlainNumber::NONE;
    if (count + (sign ? 1 : 0) > 18) {
#if defined(ZW_SHORT_DECIMALS)
      return long_number_to_double(first, end, negative, value, stop);
#else
      return PlainNumber::NONE;
#endif
    }
    const int64_t whole = static_cast<int64_t>(digits);
    *value = static_cast<double>(negative ? -whole : whole);
    return PlainNumber::CONVERTED;
  }
#if defined(ZW_SHORT_DECIMALS)
  // The short decimal road, as short_decimal_to_double takes it.
  int scale = 0;
  if (*p == '.') {
    const char* const fraction = ++p;
    p = add_digit_words(p, end, &digits);
    scale = -static_cast<int>(p - fraction);
    count -= scale;
  }
  if (count == 0) return PlainNumber::NONE;
  if (count > 19) return long_number_to_double(first, end, negative, value, stop);
  if (p < end && (*p == 'e' || *p == 'E')) {
    p = add_exponent(p + 1, end, &scale);
    if (p == nullptr) return PlainNumber::NONE;
  }
  *stop = p;
  return scaled_digits_to_double(digits, scale, negative, value) ? PlainNumber::CONVERTED : PlainNumber::LIBRARY;
#else
  return PlainNumber::NONE;
#endif
}

int32_t text_to_int32(const char* text, int32_t length) {
  return static_cast<int32_t>(text_to_unsigned<uint32_t>(text, length));
}

int64_t text_to_int64(const char* text, int32_t length) {
  return static_cast<int64_t>(text_to_unsigned<uint64_t>(text, length));
}

double text_to_double(const char* text) {
  // Decimal numbers go through from_chars (correctly rounded, "." always):
  // the fast_float library's where the build has it, so that every C++
  // library reads the same, else the C++ library's own where it has one;
  // NaNs by their bits alone; hexadecimal numbers, infinities and anything
  // unusual through strtod, whose numeric locale is never changed from "C".
  // Both are correctly rounded, so the road taken never changes a value.
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  const bool decimal = (*p >= '0' && *p <= '9') || *p == '.';
  const bool hex = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
  if (decimal && !hex) {
    double value = 0;
#if defined(ZW_HAVE_FAST_FLOAT)
    auto [ptr, ec] =
        fast_float::from_chars(p, p + std::strlen(p), value, fast_float::chars_format::general);
    if (ec == std::errc()) return negative ? -value : value;
#elif defined(__cpp_lib_to_chars)
    auto [ptr, ec] = std::from_chars(p, p + std::strlen(p), value, std::chars_format::general);
    if (ec == std::errc()) return negative ? -value : value;
#endif
  }
  double nan;
  if (text_to_nan(text, &nan)) return nan;
  return std::strtod(text, nullptr);
}

}  // namespace zw
