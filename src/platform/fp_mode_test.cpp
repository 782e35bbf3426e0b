#include "platform/fp_mode.h"

#include <gtest/gtest.h>

#include <cmath>
#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace zw {
namespace {

#if defined(__i386__) || defined(__x86_64__)

// Saves the floating-point control words and restores them at the end.
class FpuState {
 public:
  FpuState() {
    __asm__ volatile("fnstcw %0" : "=m"(x87_));
#if defined(__x86_64__)
    mxcsr_ = _mm_getcsr();
#endif
  }
  ~FpuState() { load(x87_, mxcsr_); }
  // Clears pending exception flags and loads the given control words.
  static void load(unsigned short x87, unsigned mxcsr) {
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(x87));
#if defined(__x86_64__)
    _mm_setcsr(mxcsr & ~0x3Fu);
#else
    (void)mxcsr;
#endif
  }
  static unsigned short x87() {
    unsigned short cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
  }

 private:
  unsigned short x87_ = 0x037F;
  unsigned mxcsr_ = 0x1F80;
};

TEST(ArithmeticMode, SetsExtendedPrecisionNearestAndMaskedExceptions) {
  FpuState saved;
  // Start from the wrong mode: 53-bit significand, rounding up, division by
  // zero and invalid operations trapping on the x87. The SSE unit rounds up
  // too; on Windows its exceptions trap as well, elsewhere they are left
  // masked as the system starts a process.
#if defined(_WIN32)
  FpuState::load(0x0A3A, 0x5D00);
#else
  FpuState::load(0x0A3A, 0x5F80);
#endif
  set_arithmetic_mode();

  EXPECT_EQ(FpuState::x87() & 0x0F3F, 0x033F);

  volatile long double one = 1.0L, zero = 0.0L, two = 2.0L, four = 4.0L;
  volatile long double tenth = 0.1L, fifth = 0.2L;
  volatile long double big = 1e308;  // the double, held as long double
  volatile double n1 = -1e308, n2 = 1e308, dzero = 0.0, d1 = 1.0, d3 = 3.0;

  EXPECT_NE(one + 0x1p-63L, one) << "significand narrower than 64 bits";
  EXPECT_EQ(one + 0x1p-64L, one) << "a tie must round to even";
  EXPECT_EQ(-one - 0x1p-64L, -one) << "a tie must round to even";
  constexpr long double sum64 = 0.1L + 0.2L;  // folded with a 64-bit significand
  EXPECT_EQ(tenth + fifth, sum64);
  // Stored first: 32-bit x86 computes doubles on the x87 with its wider
  // significand, and the store is where the double is rounded.
  volatile double third = d1 / d3;
  EXPECT_EQ(third, 1.0 / 3.0) << "double arithmetic must round to nearest";
  EXPECT_TRUE(std::isfinite(big * two / four));
  EXPECT_EQ(static_cast<double>(big * two / four), 1e308 / 2);
  EXPECT_EQ(static_cast<double>(2.0L * n2 + n1), 1e308);  // rounded once, at the end
  EXPECT_TRUE(std::isinf(one / zero));
  EXPECT_TRUE(std::isnan(zero / zero));
  EXPECT_TRUE(std::isinf(static_cast<double>(big * big)));
  EXPECT_TRUE(std::isinf(1.0 / dzero));
  EXPECT_TRUE(std::isnan(dzero / dzero));
}

#endif

}  // namespace
}  // namespace zw
