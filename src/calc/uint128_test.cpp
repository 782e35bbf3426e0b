// The two-halves U128, built where the compiler's own 128-bit integer is
// there to check it against.
#include "calc/uint128.h"

#include <gtest/gtest.h>

#include <vector>

#if defined(__SIZEOF_INT128__) && defined(ZW_NO_INT128)
namespace zw {
namespace {

using Native = unsigned __int128;

Native native(U128 m) { return (static_cast<Native>(m.high()) << 64) | static_cast<uint64_t>(m); }

// Edge values for the halves and for the quotient digit corrections (a
// divisor whose low digit is large), then random ones.
std::vector<uint64_t> operands() {
  std::vector<uint64_t> v = {0, 1, 2, 0xFFFFFFFF, 1ULL << 32, (1ULL << 32) + 1, 1ULL << 63, (1ULL << 63) + 1,
                             0x80000000FFFFFFFF, 0xFFFFFFFF00000000, ~0ULL - 1, ~0ULL};
  uint64_t s = 0x9E3779B97F4A7C15ULL;
  for (int i = 0; i < 300; ++i) {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    v.push_back((s * 2685821657736338717ULL) >> (i % 3 == 0 ? i % 64 : 0));
  }
  return v;
}

TEST(U128Halves, AgreeWithTheCompilersInteger) {
  const std::vector<uint64_t> v = operands();
  for (const uint64_t a : v) {
    for (const uint64_t b : v) {
      const U128 m = u128_of(a, b), n = u128_of(b, a);
      const Native nm = native(m), nn = native(n);
      ASSERT_EQ(native(multiply_64x64(a, b)), static_cast<Native>(a) * b) << a << " " << b;
      ASSERT_EQ(native(m + n), nm + nn);
      ASSERT_EQ(native(m - n), nm - nn);
      ASSERT_EQ(m == n, nm == nn);
      const int s = static_cast<int>((a ^ b) % 128);
      for (const int shift : {0, 1, 63, 64, 65, 127, s}) {
        ASSERT_EQ(native(m << shift), nm << shift) << shift;
        ASSERT_EQ(native(m >> shift), nm >> shift) << shift;
      }
      const uint64_t d = b | (1ULL << 63);
      const uint64_t high = a == ~0ULL ? d - 1 : a < d ? a : a - d;  // below d, up to d - 1
      uint64_t rest = 0;
      const uint64_t q = divide_128_by_64(high, b, d, rest);
      const Native n128 = (static_cast<Native>(high) << 64) | b;
      ASSERT_EQ(q, static_cast<uint64_t>(n128 / d)) << high << ":" << b << " / " << d;
      ASSERT_EQ(rest, static_cast<uint64_t>(n128 % d));
    }
  }
}

}  // namespace
}  // namespace zw
#endif
