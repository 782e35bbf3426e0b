// The x87 extended format in software, for platforms whose long double is
// not that format.
#pragma once

#include <cstdint>

namespace zw {

// A value of the x87 80-bit extended format, computed as the x87 unit
// computes it with a 64-bit significand, round to nearest (ties to even) and
// every exception masked:
//   - every + - * / is rounded once, in the full 15-bit exponent range,
//     with denormals of that format, and overflows to an infinity;
//   - an invalid operation (inf - inf, 0 * inf, 0 / 0, inf / inf, an
//     unsupported encoding as operand) gives the default NaN: sign set,
//     significand 0xC000000000000000;
//   - a NaN operand comes back quieted; of two NaNs the one with the larger
//     significand, on a tie the positive one;
//   - an exact zero sum is +0 unless both operands are -0; a finite
//     non-zero value divided by zero is an infinity with the quotient's sign.
// The encoding is the x87 one: sign and biased exponent in 16 bits, the
// significand with its explicit integer bit in 64.
class SoftExtended {
 public:
  SoftExtended() = default;
  // Exact; a signalling NaN is quieted, as the x87 load does.
  explicit SoftExtended(double value);
  // Rounded once to nearest, ties to even, double subnormals included; a
  // NaN keeps its sign and the top 52 bits of its fraction, quieted.
  explicit operator double() const;

  static SoftExtended from_bits(uint16_t sign_exponent, uint64_t significand) {
    SoftExtended x;
    x.sign_exponent_ = sign_exponent;
    x.significand_ = significand;
    return x;
  }
  uint16_t sign_exponent() const { return sign_exponent_; }
  uint64_t significand() const { return significand_; }

  friend SoftExtended operator+(SoftExtended a, SoftExtended b);
  friend SoftExtended operator-(SoftExtended a, SoftExtended b);
  friend SoftExtended operator*(SoftExtended a, SoftExtended b);
  friend SoftExtended operator/(SoftExtended a, SoftExtended b);

 private:
  uint16_t sign_exponent_ = 0;
  uint64_t significand_ = 0;
};

}  // namespace zw
