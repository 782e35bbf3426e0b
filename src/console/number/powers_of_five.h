// Powers of five to 128 significant bits, for converting between decimal
// text and doubles over the whole range of the double format.
#pragma once

#include <cstdint>

namespace zw {

// 5^q = (high * 2^64 + low + d) * 2^(floor_log2_pow5(q) - 127) with
// 0 <= d < 1 and the top bit of high set: the bits after the 128th are cut,
// so the entry is exact for q from 0 to 55 and slightly low elsewhere.
struct PowerOfFive {
  uint64_t high, low;
};

constexpr int POWER_OF_FIVE_MIN = -342;  // below 10^-342 * 2^64 a double is zero
constexpr int POWER_OF_FIVE_MAX = 340;   // 16 digits of the smallest subnormal need 10^339

extern const PowerOfFive POWERS_OF_FIVE[POWER_OF_FIVE_MAX - POWER_OF_FIVE_MIN + 1];

inline const PowerOfFive& power_of_five(int q) { return POWERS_OF_FIVE[q - POWER_OF_FIVE_MIN]; }

// floor(log2(5^q)) for q in the table's range.
constexpr int floor_log2_pow5(int q) { return (q * 1217359) >> 19; }

}  // namespace zw
