#include "console/number/powers_of_five.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace zw {
namespace {

// The table is written by a script; these check it against the C library's
// powl (the top 53 bits and the exponent of every entry) and against
// arithmetic (every entry five times the one before, to the last bit).
TEST(PowersOfFive, TopBitsAndExponentsAgreeWithPowl) {
  for (int q = POWER_OF_FIVE_MIN; q <= POWER_OF_FIVE_MAX; ++q) {
    const PowerOfFive& p = power_of_five(q);
    ASSERT_NE(p.high >> 63, 0u) << q;
    int exponent = 0;
    const long double fraction = std::frexp(std::pow(5.0L, q), &exponent);  // [0.5, 1)
    EXPECT_EQ(floor_log2_pow5(q), exponent - 1) << q;
    const auto top53 = static_cast<int64_t>(std::ldexp(static_cast<double>(fraction), 53));
    const auto table53 = static_cast<int64_t>(p.high >> 11);
    EXPECT_LE(std::abs(top53 - table53), 1) << q;
  }
}

#if defined(__SIZEOF_INT128__)
TEST(PowersOfFive, EachIsFiveTimesTheOneBefore) {
  using Wide = unsigned __int128;
  const auto bits = [](const PowerOfFive& p) { return (static_cast<Wide>(p.high) << 64) | p.low; };
  // Exact up to 5^55 (below 2^128).
  Wide power = 1;
  for (int q = 0; q <= 55; ++q, power *= 5) {
    const int shift = 127 - floor_log2_pow5(q);
    EXPECT_TRUE(bits(power_of_five(q)) == power << shift) << q;
  }
  // Cut after 128 bits: 5 * entry(q) is less than 5 below the exact
  // 5^(q+1) at that scale, so after the shift back to 128 bits entry(q+1) is
  // at most 2 above it, 3 above the sum of shifted parts.
  for (int q = POWER_OF_FIVE_MIN; q < POWER_OF_FIVE_MAX; ++q) {
    const Wide x = bits(power_of_five(q));
    const int shift = floor_log2_pow5(q + 1) - floor_log2_pow5(q);  // 2 or 3
    ASSERT_TRUE(shift == 2 || shift == 3) << q;
    // 5x >> shift without the 131-bit product: (4x + x) >> shift.
    const Wide times5_shifted = shift == 2 ? x + (x >> 2) : (x >> 1) + (x >> 3);
    const Wide next = bits(power_of_five(q + 1));
    EXPECT_TRUE(next >= times5_shifted && next - times5_shifted <= 3) << q;
  }
}
#endif

}  // namespace
}  // namespace zw
