#include "console/number/number_text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <system_error>

#include "console/number/byte_words.h"
#include "console/number/powers_of_five.h"

namespace zw {

namespace {
constexpr int CONVERSION_ROOM = NUMBER_DIGITS + 8;  // 24 bytes

// What goes in front of a number's digits: "-" for a negative one (negative
// zero and NaNs with the sign bit included), else the blank when asked.
// Returns the count of bytes put, 0 or 1.
int put_sign(bool negative, LeadingBlank blank, char* out) {
  out[0] = negative ? '-' : ' ';
  return negative || blank == LeadingBlank::ADD ? 1 : 0;
}

// The eight decimal digits of `n` (below 10^8) as text, the first digit in
// the lowest byte: four digits a lane, then two, then one, each step a
// multiplication by a reciprocal that is exact in that range.
uint64_t eight_digit_word(uint32_t n) {
  const uint64_t halves = (n / 10000) | (uint64_t{n % 10000} << 32);
  const uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007F;
  const uint64_t pairs = ((halves - hundreds * 100) << 16) | hundreds;
  const uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000F;
  return (((pairs - tens * 10) << 8) | tens) + ONES * '0';
}

// The 16 digits of a number below 10^16, zeros in front, as text in two
// words: digit i in byte i % 8 (counted from the lowest) of the first word
// for i < 8, of the second after that. They stay in registers: bytes
// stored and loaded again in other widths would stall the loads.
struct DigitText {
  uint64_t first, second;
};

DigitText sixteen_digit_text(uint64_t whole) {
  return {eight_digit_word(static_cast<uint32_t>(whole / 100000000)),
          eight_digit_word(static_cast<uint32_t>(whole % 100000000))};
}

// Stores 16 bytes at `out`: the digits from `from` (below 16) on, then
// bytes that only fill the piece.
void put_digits(char* out, const DigitText& t, int from) {
#if defined(__SIZEOF_INT128__)
  if constexpr (std::endian::native == std::endian::little) {
    const unsigned __int128 text = ((static_cast<unsigned __int128>(t.second) << 64) | t.first) >> (8 * from);
    std::memcpy(out, &text, 16);
    return;
  }
#endif
  char d[32];
  for (int i = 0; i < 8; ++i) {
    d[i] = static_cast<char>(t.first >> (8 * i));
    d[8 + i] = static_cast<char>(t.second >> (8 * i));
  }
  std::memset(d + 16, '0', 16);
  std::memcpy(out, d + from, 16);
}

// Where the digits start: the first that is not '0' (16 if none is).
int first_nonzero_digit(const DigitText& t) {
  const uint64_t first = t.first ^ (ONES * '0');
  const uint64_t second = t.second ^ (ONES * '0');
  return first != 0 ? std::countr_zero(first) / 8 : 8 + std::countr_zero(second) / 8;
}

// Whole numbers below 10^16 have at most 16 digits, so the general form
// writes them as plain digits: no point, no exponent, nothing rounded.
// They are most results, and digits from an integer are far cheaper than
// the general conversion. Negative zero keeps its sign.
int format_whole_number(double value, LeadingBlank blank, char* out) {
  const bool negative = std::signbit(value);
  const uint64_t whole = static_cast<uint64_t>(negative ? -value : value);
  const DigitText digits = sixteen_digit_text(whole);
  // Zeros in front are dropped, all but the last digit.
  const int lead = std::min(first_nonzero_digit(digits), 15);
  const int length = put_sign(negative, blank, out);
  put_digits(out + length, digits, lead);
  return length + 16 - lead;
}

#if defined(__SIZEOF_INT128__)
using Wide = unsigned __int128;

// Digit i, for i < 8.
char digit_at(const DigitText& t, int i) { return static_cast<char>(t.first >> (8 * i)); }

constexpr uint64_t TEN_15 = 1000000000000000ULL;
constexpr uint64_t TEN_16 = 10000000000000000ULL;

constexpr uint64_t POW5[28] = {
    1ULL, 5ULL, 25ULL, 125ULL, 625ULL, 3125ULL, 15625ULL, 78125ULL, 390625ULL, 1953125ULL,
    9765625ULL, 48828125ULL, 244140625ULL, 1220703125ULL, 6103515625ULL, 30517578125ULL,
    152587890625ULL, 762939453125ULL, 3814697265625ULL, 19073486328125ULL, 95367431640625ULL,
    476837158203125ULL, 2384185791015625ULL, 11920928955078125ULL, 59604644775390625ULL,
    298023223876953125ULL, 1490116119384765625ULL, 7450580596923828125ULL};
constexpr int POW5_MAX = 27;  // 5^27 < 2^63
static_assert(POW5[POW5_MAX] < (1ULL << 63) && POW5[POW5_MAX] / 5 == POW5[POW5_MAX - 1]);

// m * 2^q * 10^s, exactly: its whole part in `*whole` and how the part
// after the point compares with one half (-1 below, 0 equal, 1 above).
// False when the numbers involved do not fit in 128 bits.
bool scale_exactly(uint64_t m, int q, int s, uint64_t* whole, int* half) {
  if (s >= 0) {
    if (s > POW5_MAX) return false;
    const Wide product = static_cast<Wide>(m) * POW5[s];  // below 2^116
    const int shift = q + s;
    if (shift >= 0) {
      if (shift > 11) return false;
      const Wide x = product << shift;
      if ((x >> 64) != 0) return false;
      *whole = static_cast<uint64_t>(x);
      *half = -1;
      return true;
    }
    const int k = -shift;
    if (k >= 116) return false;
    const Wide x = product >> k;
    if ((x >> 64) != 0) return false;
    const Wide rest = product & ((static_cast<Wide>(1) << k) - 1);
    const Wide one_half = static_cast<Wide>(1) << (k - 1);
    *whole = static_cast<uint64_t>(x);
    *half = (rest > one_half) - (rest < one_half);
    return true;
  }
  const int t = -s;
  const int shift = q - t;
  if (t > POW5_MAX || shift < 0 || shift > 74) return false;  // m < 2^53
  const Wide numerator = static_cast<Wide>(m) << shift;
  const Wide x = numerator / POW5[t];
  if ((x >> 64) != 0) return false;
  const uint64_t rest = static_cast<uint64_t>(numerator - x * POW5[t]);
  const uint64_t twice = rest * 2;  // below 2^64: rest < 5^27 < 2^63
  *whole = static_cast<uint64_t>(x);
  *half = (twice > POW5[t]) - (twice < POW5[t]);
  return true;
}

// The doubles nearest to 10^-20 .. 10^50.
constexpr int POW10_FIRST = -20;
constexpr double POW10[] = {
    1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7,
    1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10,
    1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22, 1e23, 1e24, 1e25, 1e26,
    1e27, 1e28, 1e29, 1e30, 1e31, 1e32, 1e33, 1e34, 1e35, 1e36, 1e37, 1e38, 1e39, 1e40, 1e41, 1e42,
    1e43, 1e44, 1e45, 1e46, 1e47, 1e48, 1e49, 1e50};
static_assert(std::size(POW10) == 71);

// scale_exactly for a negative s, out of line: rarely taken.
[[gnu::noinline]] bool divide_exactly(uint64_t m, int q, int s, uint64_t* whole, int* half) {
  return scale_exactly(m, q, s, whole, half);
}

// m * 2^q * 10^s from the power of five cut to 128 bits: its whole part in
// `*whole` and how the part after the point compares with one half. The
// product with the cut power lies below the exact value by less than
// 2^-73 (m is below 2^(shift-73) whenever the whole part is below 10^16),
// so a part after the point within a few units of 2^-64 of one half cannot
// be judged: false then, and when the whole part does not fit in 64 bits.
// Within those units of one, the exact value is just below the next whole
// number or on it (an exact decimal, such as 5^-s times a whole number):
// rounded, both give that whole number.
bool scale_by_cut_power(uint64_t m, int q, int s, uint64_t* whole, int* half) {
  if (s < POWER_OF_FIVE_MIN || s > POWER_OF_FIVE_MAX) return false;
  const PowerOfFive& p = power_of_five(s);
  const Wide low = static_cast<Wide>(m) * p.low;
  const Wide top = static_cast<Wide>(m) * p.high + (low >> 64);  // the product >> 64
  const int shift = 127 - q - s - floor_log2_pow5(s);  // the product >> shift is the whole part
  if (shift < 64 || shift >= 192) return false;
  const int j = shift - 64;
  const Wide x = top >> j;
  if ((x >> 64) != 0) return false;
  // The 64 bits after the point.
  const uint64_t fraction = j >= 64 ? static_cast<uint64_t>(top >> (j - 64))
                            : j == 0 ? static_cast<uint64_t>(low)
                                     : static_cast<uint64_t>(((top << 64) | static_cast<uint64_t>(low)) >> j);
  constexpr uint64_t HALF = 1ULL << 63;
  constexpr uint64_t MARGIN = 4;
  if (fraction - (HALF - MARGIN) <= 2 * MARGIN) return false;
  if (fraction >= 0 - MARGIN) {
    if (static_cast<uint64_t>(x) == UINT64_MAX) return false;
    *whole = static_cast<uint64_t>(x) + 1;
    *half = -1;
    return true;
  }
  *whole = static_cast<uint64_t>(x);
  *half = fraction > HALF ? 1 : -1;
  return true;
}

// The 16 significant digits of `magnitude` (finite, above zero), rounded
// to nearest with ties to even as "%.16g" rounds, and the decimal exponent
// of the first. Exact whole-number arithmetic on the double's value where
// it fits in 128 bits, the cut power of five elsewhere; false where
// neither can decide the rounding, and the library conversion takes over.
bool sixteen_digits(double magnitude, uint64_t* digits, int* exponent) {
  uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biased = static_cast<int>(bits >> 52) & 0x7FF;
  if (biased == 0x7FF) return false;
  const uint64_t fraction_bits = bits & ((1ULL << 52) - 1);
  const uint64_t m = biased == 0 ? fraction_bits : fraction_bits | (1ULL << 52);
  if (m == 0) return false;
  const int q = biased == 0 ? -1074 : biased - 1075;
  // floor(log10(2^top)) is the decimal exponent or one below it; the
  // nearest double to the next power of ten tells which where the table
  // has it (but for the value equal to a power rounded down; the loop
  // corrects that).
  const int top = q + 63 - std::countl_zero(m);
  int guess = (top * 78913) >> 18;
  if (guess + 1 >= POW10_FIRST && guess + 1 < POW10_FIRST + static_cast<int>(std::size(POW10))) {
    guess += magnitude >= POW10[guess + 1 - POW10_FIRST] ? 1 : 0;
  }
  int s = 15 - guess;
  uint64_t whole = 0;
  int half = 0;
  for (int tries = 0;; ++tries) {
    if (tries == 3) return false;
    // Multiplying by 5^s is cheap and exact where it fits; dividing by 5^-s
    // is not cheap, but decides the whole numbers past 10^16 whose 17th
    // digit the cut power leaves in doubt (5 there, exactly).
    const bool scaled = (s >= 0 && scale_exactly(m, q, s, &whole, &half)) ||
                        scale_by_cut_power(m, q, s, &whole, &half) || (s < 0 && divide_exactly(m, q, s, &whole, &half));
    if (!scaled) return false;
    if (whole >= TEN_16) {
      --s;
    } else if (whole < TEN_15) {
      ++s;
    } else {
      break;
    }
  }
  whole += (half > 0) | ((half == 0) & static_cast<int>(whole & 1));
  int e = 15 - s;
  if (whole == TEN_16) {
    whole = TEN_15;
    ++e;
  }
  *digits = whole;
  *exponent = e;
  return true;
}

// Where the digits end: one past the last that is not '0' (0 if none is).
int end_of_nonzero_digits(const DigitText& t) {
  const uint64_t first = t.first ^ (ONES * '0');
  const uint64_t second = t.second ^ (ONES * '0');
  return second != 0 ? 8 + (71 - std::countl_zero(second)) / 8 : (71 - std::countl_zero(first)) / 8;
}

constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// "%.16g" from the 16 digits and the exponent, without the sign. The
// digits are moved in fixed-size pieces that may run past the text's end
// (into the room `out` has); the length says where it ends.
int general_form(uint64_t whole, int e, char* out) {
  const DigitText digits = sixteen_digit_text(whole);
  const int significant = end_of_nonzero_digits(digits);  // the first digit is never '0'
  if (e >= 0 && e < 16) {
    put_digits(out, digits, 0);
    out[e + 1] = '.';
    put_digits(out + e + 2, digits, e < 15 ? e + 1 : 15);  // with 16 before the point none come after
    return significant > e + 1 ? significant + 1 : e + 1;
  }
  if (e < 0 && e >= -4) {
    const int zeros = -e - 1;
    std::memcpy(out, "0.000000", 8);
    put_digits(out + 2 + zeros, digits, 0);
    return 2 + zeros + significant;
  }
  out[0] = digit_at(digits, 0);
  out[1] = '.';
  put_digits(out + 2, digits, 1);
  int n = significant > 1 ? significant + 1 : 1;
  out[n++] = 'e';
  out[n++] = e < 0 ? '-' : '+';
  const int a = e < 0 ? -e : e;
  if (a >= 100) out[n++] = static_cast<char>('0' + a / 100);
  out[n++] = DIGIT_PAIRS[2 * (a % 100)];
  out[n++] = DIGIT_PAIRS[2 * (a % 100) + 1];
  return n;
}
#endif

}  // namespace

int format_number(double value, LeadingBlank blank, char* out) {
  if (value > -1e16 && value < 1e16 &&
      static_cast<double>(static_cast<int64_t>(value)) == value) {
    return format_whole_number(value, blank, out);
  }
#if defined(__SIZEOF_INT128__)
  uint64_t digits;
  int exponent;
  if (sixteen_digits(std::fabs(value), &digits, &exponent)) {
    const int length = put_sign(std::signbit(value), blank, out);
    return length + general_form(digits, exponent, out + length);
  }
#endif
  // Infinities and NaNs in the program's own spelling, "inf" and "nan"
  // after the sign, whatever a C++ library spells them ("nan(ind)", "NaN").
  if (!std::isfinite(value)) {
    const int length = put_sign(std::signbit(value), blank, out);
    std::memcpy(out + length, std::isnan(value) ? "nan" : "inf", 3);
    return length + 3;
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
  // The conversion writes the "-" itself.
  const int start = text[0] == '-' ? 0 : put_sign(false, blank, out);
  std::memcpy(out + start, text, static_cast<size_t>(length));
  return start + length;
}

}  // namespace zw
