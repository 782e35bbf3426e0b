#include "console/number/number_input.h"

#include "console/number/plain_decimal.h"

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
// kept modulo 2^bits, else base 10 with strtoul rules. (Plain digits with a
// sign reach here only when they are not a plain decimal's whole item.)
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
  return static_cast<Unsigned>(std::strtoull(text + i, nullptr, 10));
}

// ---- digits * 10^scale as a double ---------------------------------------
//
// Roads that scale the digits and round once where they can trust the
// rounding: the x87 unit where long double is its 64-bit format, a power of
// five cut to 128 bits where the compiler has a 128-bit integer. What
// neither decides, and everything on a build with neither, the library
// reads from the text.

#if (defined(__x86_64__) || defined(__i386__)) && LDBL_MANT_DIG == 64
constexpr bool X87_ROAD = true;
#else
constexpr bool X87_ROAD = false;
#endif

constexpr long double TEN_POWERS[28] = {
    1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
    1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L,
    1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};  // exact in the x87 format: 5^27 < 2^64

// digits * 10^scale by the x87 unit, for a scale within 27: the digits and
// 10^k are exact in the extended format, so one multiplication or division
// rounds the exact value once, to 64 bits (the unit is set so). Rounding
// that to a double again gives the correctly rounded double unless the
// 64-bit result lies exactly halfway between two doubles: the true value
// cannot be on the other side of a halfway point without the 64-bit result
// landing on it. False then.
[[maybe_unused]] inline bool scale_by_x87(uint64_t digits, int32_t scale, double* value) {
  if (scale < -27 || scale > 27) return false;
  const long double whole = static_cast<long double>(digits);
  const long double x = scale < 0 ? whole / TEN_POWERS[-scale] : whole * TEN_POWERS[scale];
  uint64_t significand;
  std::memcpy(&significand, &x, sizeof significand);  // the 64-bit significand comes first
  if ((significand & 0x7FF) == 0x400) return false;
  *value = static_cast<double>(x);
  return true;
}

#if defined(__SIZEOF_INT128__)
// digits * 10^scale (digits above zero) from the power of five cut to 128
// bits. The product of the digits, moved up to fill 64 bits, with the cut
// power lies below the exact one by less than 2^64 units of its lowest bit,
// so its top 128 bits are exact or one too low. The rounding is certain
// unless the product is exactly halfway (the exact value may be above it)
// or its bits below the rounding bit are all ones with the rounding bit
// clear (the exact value may be halfway): with the rounding bit set, a
// carry into it rounds up the same. Exact decimals such as 1.5 come out
// that way. False when it is not certain, and for results that are
// subnormal, where the rounding falls elsewhere.
inline bool scale_by_cut_power(uint64_t digits, int32_t scale, double* value) {
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

// digits * 10^scale, negative if asked, for at most 19 digits; false when
// no road here can trust its rounding. The choice among the roads, made
// here and nowhere else: the x87 unit first where there is one (fewer
// instructions, as fast), the cut powers for every other scale and for
// what the x87 leaves undecided.
inline bool scale_digits(uint64_t digits, int32_t scale, bool negative, double* value) {
  double x = 0;
  bool done = digits == 0;
  if constexpr (X87_ROAD) done = done || scale_by_x87(digits, scale, &x);
#if defined(__SIZEOF_INT128__)
  done = done || scale_by_cut_power(digits, scale, &x);
#endif
  if (!done) return false;
  *value = negative ? -x : x;
  return true;
}

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

// The longest item the plain road in item_to_double copies; longer ones
// (never a split number item) take the library.
constexpr int32_t PLAIN_ITEM_MAX = 80;

}  // namespace

[[gnu::noinline]] LongDigits read_long_digits(const char* p, const char* last) {
  uint64_t w = 0;
  int kept = 0;
  int32_t scale = 0;
  bool more = false;
  int part = 0;  // 0 before the point, 1 after it
  for (; p < last; ++p) {
    if (*p == '.') {
      part = 1;
    } else if (kept < 19 && (kept > 0 || *p != '0')) {
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
  return LongDigits{w, scale, more};
}

bool scale_plain_decimal(uint64_t digits, int32_t scale, bool negative, double* value) {
  return scale_digits(digits, scale, negative, value);
}

// Past 19 digits the number lies between two neighbours: where both round
// alike, so does every number between them.
bool scale_long_decimal(uint64_t digits, int32_t scale, bool negative, double* value) {
  double low = 0;
  double high = 0;
  if (!scale_digits(digits, scale, negative, &low) || !scale_digits(digits + 1, scale, negative, &high) ||
      high != low) {
    return false;
  }
  *value = low;
  return true;
}

double item_to_double(const char* item, int32_t length, bool looks_float) {
  // A plain decimal by its grammar, from a copy that may be read past its
  // end; it is one exactly when the point or exponent letter marked it.
  const char lead = length > 0 ? item[0] : '\0';
  const bool may_be_plain = (lead >= '0' && lead <= '9') || lead == '-' || lead == '+' || lead == '.';
  if (may_be_plain && length <= PLAIN_ITEM_MAX) {
    char padded[PLAIN_ITEM_MAX + 8];
    std::memcpy(padded, item, static_cast<size_t>(length));
    std::memset(padded + length, 0, 8);
    const PlainDecimal d = read_plain_decimal(padded, padded + length);
    double value;
    if (d.stop == padded + length && d.integer != looks_float && plain_decimal_to_double(d, &value)) return value;
  }
  if (looks_float) return text_to_double(item);
  if (length <= 9) return static_cast<double>(text_to_int32(item, length));
  if (length <= 18 || item[0] == '&') return static_cast<double>(text_to_int64(item, length));
  return text_to_double(item);
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
