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

#if defined(__SIZEOF_INT128__)
using Wide = unsigned __int128;

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
    *half = rest < one_half ? -1 : rest == one_half ? 0 : 1;
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
  *half = twice < POW5[t] ? -1 : twice == POW5[t] ? 0 : 1;
  return true;
}

// The 16 significant digits of `magnitude` (finite, above zero), rounded
// to nearest with ties to even as "%.16g" rounds, and the decimal exponent
// of the first. Whole-number arithmetic on the exact value of the double;
// it covers magnitudes from about 1e-12 to 1e42, and answers false
// elsewhere (and for subnormals), where the library conversion takes over.
bool sixteen_digits(double magnitude, uint64_t* digits, int* exponent) {
  uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biased = static_cast<int>(bits >> 52) & 0x7FF;
  if (biased == 0 || biased == 0x7FF) return false;
  const uint64_t m = (bits & ((1ULL << 52) - 1)) | (1ULL << 52);
  const int q = biased - 1075;
  // floor(log10(2^(q+52))), or one below the decimal exponent; the loop
  // corrects it either way.
  const int guess = ((q + 52) * 78913) >> 18;
  int s = 15 - guess;
  uint64_t whole = 0;
  int half = 0;
  for (int tries = 0;; ++tries) {
    if (tries == 3 || !scale_exactly(m, q, s, &whole, &half)) return false;
    if (whole >= TEN_16) {
      --s;
    } else if (whole < TEN_15) {
      ++s;
    } else {
      break;
    }
  }
  if (half > 0 || (half == 0 && (whole & 1) != 0)) ++whole;
  int e = 15 - s;
  if (whole == TEN_16) {
    whole = TEN_15;
    ++e;
  }
  *digits = whole;
  *exponent = e;
  return true;
}

constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// "%.16g" from the 16 digits and the exponent, without the sign.
int general_form(uint64_t whole, int e, char* out) {
  char d[16];
  for (int i = 14; i >= 0; i -= 2) {
    const unsigned pair = static_cast<unsigned>(whole % 100);
    whole /= 100;
    d[i] = DIGIT_PAIRS[2 * pair];
    d[i + 1] = DIGIT_PAIRS[2 * pair + 1];
  }
  int significant = 16;
  while (d[significant - 1] == '0') --significant;  // d[0] is never '0'
  int n = 0;
  if (e >= 0 && e < 16) {
    std::memcpy(out, d, static_cast<size_t>(e + 1));
    n = e + 1;
    if (significant > n) {
      out[n++] = '.';
      std::memcpy(out + n, d + e + 1, static_cast<size_t>(significant - e - 1));
      n += significant - e - 1;
    }
    return n;
  }
  if (e < 0 && e >= -4) {
    out[n++] = '0';
    out[n++] = '.';
    for (int z = -1; z > e; --z) out[n++] = '0';
    std::memcpy(out + n, d, static_cast<size_t>(significant));
    return n + significant;
  }
  out[n++] = d[0];
  if (significant > 1) {
    out[n++] = '.';
    std::memcpy(out + n, d + 1, static_cast<size_t>(significant - 1));
    n += significant - 1;
  }
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
    int length = 0;
    if (std::signbit(value)) {
      out[length++] = '-';
    } else if (blank == LeadingBlank::ADD) {
      out[length++] = ' ';
    }
    return length + general_form(digits, exponent, out + length);
  }
#endif
  // Infinities and NaNs in the program's own spelling, "inf" and "nan"
  // after the sign, whatever a C++ library spells them ("nan(ind)", "NaN").
  if (!std::isfinite(value)) {
    int length = 0;
    if (std::signbit(value)) {
      out[length++] = '-';
    } else if (blank == LeadingBlank::ADD) {
      out[length++] = ' ';
    }
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
  int start = 0;
  if (blank == LeadingBlank::ADD && text[0] != '-') out[start++] = ' ';
  std::memcpy(out + start, text, static_cast<size_t>(length));
  return start + length;
}

}  // namespace zw
