// Unsigned 128-bit arithmetic for the software extended type: the
// compiler's unsigned __int128 where it has one, two 64-bit halves where it
// has none (32-bit targets) or when built with ZW_NO_INT128. Either way
// U128 offers construction from 64 bits, + and - modulo 2^128, |, shifts
// by 0 to 127, == and !=, the low half by static_cast<uint64_t>; and these
// functions:
//   u128_of(high, low)                     the value high * 2^64 + low
//   multiply_64x64(a, b)                   the full product
//   divide_128_by_64(high, low, d, rest)   (high * 2^64 + low) / d, for d
//       with its top bit set and high < d (so the quotient fits 64 bits);
//       the remainder goes to `rest`
#pragma once

#include <cstdint>

namespace zw {

#if defined(__SIZEOF_INT128__) && !defined(ZW_NO_INT128)

using U128 = unsigned __int128;

inline U128 u128_of(uint64_t high, uint64_t low) { return (static_cast<U128>(high) << 64) | low; }

inline U128 multiply_64x64(uint64_t a, uint64_t b) { return static_cast<U128>(a) * b; }

inline uint64_t divide_128_by_64(uint64_t high, uint64_t low, uint64_t d, uint64_t& rest) {
  const U128 n = u128_of(high, low);
  rest = static_cast<uint64_t>(n % d);
  return static_cast<uint64_t>(n / d);
}

#else

class U128 {
 public:
  constexpr U128(uint64_t low = 0) : high_(0), low_(low) {}
  constexpr U128(uint64_t high, uint64_t low) : high_(high), low_(low) {}
  constexpr explicit operator uint64_t() const { return low_; }
  constexpr uint64_t high() const { return high_; }

  friend constexpr bool operator==(U128 a, U128 b) { return a.high_ == b.high_ && a.low_ == b.low_; }
  friend constexpr U128 operator|(U128 a, U128 b) { return {a.high_ | b.high_, a.low_ | b.low_}; }
  friend constexpr U128 operator+(U128 a, U128 b) {
    const uint64_t low = a.low_ + b.low_;
    return {a.high_ + b.high_ + (low < a.low_), low};
  }
  friend constexpr U128 operator-(U128 a, U128 b) {
    return {a.high_ - b.high_ - (a.low_ < b.low_), a.low_ - b.low_};
  }
  friend constexpr U128 operator<<(U128 m, int s) {
    if (s == 0) return m;
    if (s >= 64) return {m.low_ << (s - 64), 0};
    return {(m.high_ << s) | (m.low_ >> (64 - s)), m.low_ << s};
  }
  friend constexpr U128 operator>>(U128 m, int s) {
    if (s == 0) return m;
    if (s >= 64) return {0, m.high_ >> (s - 64)};
    return {m.high_ >> s, (m.low_ >> s) | (m.high_ << (64 - s))};
  }
  U128& operator<<=(int s) { return *this = *this << s; }

 private:
  uint64_t high_;
  uint64_t low_;
};

inline U128 u128_of(uint64_t high, uint64_t low) { return {high, low}; }

// Four 32-bit partial products; the middle column cannot overflow.
inline U128 multiply_64x64(uint64_t a, uint64_t b) {
  constexpr uint64_t LOW32 = 0xFFFFFFFF;
  const uint64_t a0 = a & LOW32, a1 = a >> 32, b0 = b & LOW32, b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t middle = (p00 >> 32) + (p01 & LOW32) + (p10 & LOW32);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & LOW32)};
}

// Long division in two 32-bit digits (Knuth's algorithm D with a divisor of
// two digits, already normalised): each quotient digit is estimated from
// the divisor's top digit and corrected at most twice.
inline uint64_t divide_128_by_64(uint64_t high, uint64_t low, uint64_t d, uint64_t& rest) {
  constexpr uint64_t B = 1ULL << 32;
  const uint64_t d1 = d >> 32, d0 = d & (B - 1);
  const uint64_t n1 = low >> 32, n0 = low & (B - 1);
  uint64_t q1 = high / d1;
  uint64_t r = high - q1 * d1;
  while (q1 >= B || q1 * d0 > B * r + n1) {
    --q1;
    r += d1;
    if (r >= B) break;
  }
  const uint64_t n21 = high * B + n1 - q1 * d;  // the partial remainder, < d
  uint64_t q0 = n21 / d1;
  r = n21 - q0 * d1;
  while (q0 >= B || q0 * d0 > B * r + n0) {
    --q0;
    r += d1;
    if (r >= B) break;
  }
  rest = n21 * B + n0 - q0 * d;
  return q1 * B + q0;
}

#endif

}  // namespace zw
