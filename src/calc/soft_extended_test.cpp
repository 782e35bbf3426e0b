#include "calc/soft_extended.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "calc/operations.h"

namespace zw {
namespace {

constexpr uint16_t NEG = 0x8000;
constexpr uint64_t INT_BIT = 1ULL << 63;
constexpr uint64_t INDEFINITE = 0xC000000000000000ULL;

uint64_t bits_of(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}
std::string hex(SoftExtended x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04x:%016llx", x.sign_exponent(),
                static_cast<unsigned long long>(x.significand()));
  return buf;
}
SoftExtended ext(uint16_t se, uint64_t sig) { return SoftExtended::from_bits(se, sig); }

// Results the x87 unit gives; on x86 the comparison with the hardware below
// covers these too, elsewhere this table is what holds the type to them.
TEST(SoftExtended, SpecialValuesRoundingAndRangeAsTheX87) {
  const SoftExtended one{1.0}, zero{0.0}, neg_zero{-0.0};
  const SoftExtended inf{std::numeric_limits<double>::infinity()};
  const SoftExtended nan_payload = ext(0x7FFF, 0xC000000000001234);  // quiet, positive
  const SoftExtended snan_payload = ext(NEG | 0x7FFF, 0x8000000000000777);
  const SoftExtended tiny = ext(0, 1);                // smallest denormal
  const SoftExtended huge = ext(0x7FFE, ~0ULL);       // largest finite
  const SoftExtended half_ulp = ext(16383 - 64, INT_BIT);  // 2^-64: half an ulp of 1
  struct Case {
    const char* what;
    SoftExtended got;
    uint16_t se;
    uint64_t sig;
  };
  const Case cases[] = {
      {"0/0", zero / zero, NEG | 0x7FFF, INDEFINITE},
      {"inf-inf", inf - inf, NEG | 0x7FFF, INDEFINITE},
      {"0*inf", zero * inf, NEG | 0x7FFF, INDEFINITE},
      {"inf/inf", inf / inf, NEG | 0x7FFF, INDEFINITE},
      {"1/-0", one / neg_zero, NEG | 0x7FFF, INT_BIT},
      {"1-1", one - one, 0, 0},
      {"-0+-0", neg_zero + neg_zero, NEG, 0},
      {"-0-0", neg_zero - zero, NEG, 0},
      {"-0*1", neg_zero * one, NEG, 0},
      {"nan*0", nan_payload * zero, 0x7FFF, 0xC000000000001234},
      {"snan+1", snan_payload + one, NEG | 0x7FFF, 0xC000000000000777},
      {"1-nan keeps sign", one - nan_payload, 0x7FFF, 0xC000000000001234},
      {"larger nan", snan_payload + nan_payload, 0x7FFF, 0xC000000000001234},
      {"nan tie: positive", ext(NEG | 0x7FFF, 0xC000000000001234) * nan_payload, 0x7FFF,
       0xC000000000001234},
      {"1+2^-64 tie to even", one + half_ulp, 16383, INT_BIT},
      {"1+3*2^-64 tie to even", one + ext(16383 - 63, 0xC000000000000000), 16383, INT_BIT + 2},
      {"2*1e308 held", SoftExtended{1e308} * SoftExtended{2.0}, 16383 + 1024,
       SoftExtended{1e308}.significand()},
      {"tiny/2 to zero (tie)", tiny / SoftExtended{2.0}, 0, 0},
      {"3*tiny/2 up (tie)", ext(0, 3) / SoftExtended{2.0}, 0, 2},
      {"denormal to normal", ext(0, INT_BIT - 1) + tiny, 1, INT_BIT},
      {"overflow", huge * SoftExtended{2.0}, 0x7FFF, INT_BIT},
      {"unnormal", ext(1000, 1) + one, NEG | 0x7FFF, INDEFINITE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hex(c.got), hex(ext(c.se, c.sig))) << c.what;
  }
}

TEST(SoftExtended, ConvertsToDoubleRoundingOnce) {
  const uint64_t min_sub = 1, max_finite = 0x7FEFFFFFFFFFFFFF;
  struct Case {
    SoftExtended value;
    uint64_t want;
  };
  const Case cases[] = {
      {ext(16383, 0x8000000000000400), bits_of(1.0)},                          // tie, even
      {ext(16383, 0x8000000000000401), bits_of(1.0) + 1},                      // above the tie
      {ext(16383 - 1075, INT_BIT), 0},                                          // half the least subnormal
      {ext(16383 - 1075, INT_BIT | 1), min_sub},                                // just above it
      {ext(NEG | (16383 - 1074), 0xC000000000000000), (1ULL << 63) | 2},        // 1.5 least: tie up to 2
      {ext(16383 + 1023, ~0ULL), 0x7FF0000000000000},                           // rounds past the largest
      {ext(16383 + 1023, 0xFFFFFFFFFFFFFBFF), max_finite},                      // just below the tie
      {ext(0x7FFF, 0x8000000000000801), 0x7FF8000000000001},                    // payload, quieted
      {ext(NEG | 0x7FFF, INDEFINITE), 0xFFF8000000000000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bits_of(static_cast<double>(c.value)), c.want) << hex(c.value);
  }
}


#if defined(__i386__) || defined(__x86_64__)
// Side by side with the x87 unit: every result of the software type must be
// the hardware's, bit for bit, as an extended value and rounded to double.
// ZW_EXTENDED_PAIRS sets the pairs per operation (the soak run takes ten
// million); never compare under valgrind, which emulates x87 in double.

double double_of(uint64_t b) {
  double v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

long double hardware(SoftExtended x) {
  unsigned char raw[sizeof(long double)] = {};
  const uint64_t sig = x.significand();
  const uint16_t se = x.sign_exponent();
  std::memcpy(raw, &sig, 8);
  std::memcpy(raw + 8, &se, 2);
  long double v;
  std::memcpy(&v, raw, sizeof v);
  return v;
}
SoftExtended soft_of(long double v) {
  unsigned char raw[sizeof(long double)];
  std::memcpy(raw, &v, sizeof v);
  uint64_t sig;
  uint16_t se;
  std::memcpy(&sig, raw, 8);
  std::memcpy(&se, raw + 8, 2);
  return SoftExtended::from_bits(se, sig);
}

// The program's arithmetic mode for the test's duration: 64-bit
// significand, round to nearest, every exception masked.
class X87Mode {
 public:
  X87Mode() {
    __asm__ volatile("fnstcw %0" : "=m"(saved_));
    const unsigned short cw = 0x037F;
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(cw));
  }
  ~X87Mode() { __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(saved_)); }

 private:
  unsigned short saved_ = 0;
};

long pair_count() {
  const char* env = std::getenv("ZW_EXTENDED_PAIRS");
  return env != nullptr ? std::atol(env) : 100000;
}

struct Random {
  uint64_t s = 0x9E3779B97F4A7C15ULL;
  uint64_t next() {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return s * 2685821657736338717ULL;
  }
  uint64_t below(uint64_t n) { return next() % n; }
  // A random significand whose low bits are often zero, so that exact
  // results and halfway cases come up.
  uint64_t short_bits() { return next() & (~0ULL << below(64)); }
};

const double SPECIAL_DOUBLES[] = {
    0.0, 1.0, 2.0, 0.5, 3.0, 0.1, PI, 1e308, 1.7976931348623157e308, 2.2250738585072014e-308,
    4.9406564584124654e-324, 2.2250738585072009e-308, std::numeric_limits<double>::infinity(),
    double_of(0x7FF8000000000000), double_of(0x7FF8000000000001), double_of(0x7FFC000000001234),
    double_of(0x7FF0000000000001), double_of(0x7FF4000000000000),  // signalling
};

double random_double(Random& r) {
  double d;
  switch (r.below(4)) {
    case 0:  // any bit pattern
      d = double_of(r.next());
      break;
    case 1:
      d = SPECIAL_DOUBLES[r.below(std::size(SPECIAL_DOUBLES))];
      break;
    case 2:  // a short significand near 1, or near either end of the range
    {
      const uint64_t exps[] = {1023 + r.below(64) - 32, r.below(64), 2046 - r.below(64), 0};
      d = double_of((r.short_bits() >> 12) | (exps[r.below(4)] << 52));
      break;
    }
    default:  // subnormal
      d = double_of(r.short_bits() >> 12);
      break;
  }
  return r.below(2) != 0 ? -d : d;
}

SoftExtended random_extended(Random& r) {
  const uint16_t sign = r.below(2) != 0 ? NEG : 0;
  uint64_t sig = r.short_bits();
  uint16_t e;
  switch (r.below(6)) {
    case 0:  // from a double
      return SoftExtended{random_double(r)};
    case 1:  // denormal, or at the low end
      e = static_cast<uint16_t>(r.below(66));
      if (e == 0) sig >>= 1 + r.below(63);  // a shift of 64 would be undefined
      break;
    case 2:  // at the high end
      e = static_cast<uint16_t>(0x7FFE - r.below(66));
      break;
    case 3:  // infinity or NaN
      e = 0x7FFF;
      if (r.below(3) == 0) sig = 0;
      break;
    case 4:  // anywhere
      e = static_cast<uint16_t>(r.below(0x8000));
      break;
    default:  // near 1
      e = static_cast<uint16_t>(16383 + r.below(140) - 70);
      break;
  }
  if (e != 0) sig |= INT_BIT;
  if (r.below(500) == 0) sig &= ~INT_BIT;  // now and then an unsupported encoding
  return SoftExtended::from_bits(sign | e, sig);
}

// A second operand made from the first: its negation a few ulps off (massive
// cancellation), or a value half an ulp of the first below it at most a few
// binades off (halfway cases), or an unrelated one.
SoftExtended partner(Random& r, SoftExtended a) {
  const uint16_t e = a.sign_exponent() & 0x7FFF;
  switch (r.below(4)) {
    case 0: {
      const uint64_t sig = a.significand() + r.below(9) - 4;
      return SoftExtended::from_bits(a.sign_exponent() ^ (r.below(2) != 0 ? NEG : 0),
                                     sig | (e != 0 ? INT_BIT : 0));
    }
    case 1: {
      const int shift = 62 + static_cast<int>(r.below(6));
      if (e <= shift || e == 0x7FFF) return random_extended(r);
      return SoftExtended::from_bits(static_cast<uint16_t>((r.below(2) != 0 ? NEG : 0) | (e - shift)),
                                     INT_BIT | (r.below(2) != 0 ? 0 : r.short_bits() >> 1));
    }
    default:
      return random_extended(r);
  }
}

struct Mismatches {
  int count = 0;
  void check(const char* what, SoftExtended a, SoftExtended b, SoftExtended soft, long double hard) {
    const SoftExtended want = soft_of(hard);
    const uint64_t soft_double = bits_of(static_cast<double>(soft));
    const uint64_t hard_double = bits_of(static_cast<double>(hard));
    if (hex(soft) == hex(want) && soft_double == hard_double) return;
    if (++count <= 10) {
      ADD_FAILURE() << what << " " << hex(a) << " " << hex(b) << ": soft " << hex(soft) << " / "
                    << soft_double << ", x87 " << hex(want) << " / " << hard_double;
    }
  }
};

TEST(SoftExtendedAgainstX87, EveryOperationBitForBit) {
  X87Mode mode;
  Random r;
  const long pairs = pair_count();
  Mismatches m;
  for (long i = 0; i < pairs && m.count < 10; ++i) {
    const SoftExtended a = r.below(2) != 0 ? SoftExtended{random_double(r)} : random_extended(r);
    const SoftExtended b = r.below(2) != 0 ? SoftExtended{random_double(r)} : partner(r, a);
    volatile long double x = hardware(a), y = hardware(b);
    m.check("+", a, b, a + b, x + y);
    m.check("-", a, b, a - b, x - y);
    m.check("*", a, b, a * b, x * y);
    m.check("/", a, b, a / b, x / y);
  }
  EXPECT_EQ(m.count, 0);
}

TEST(SoftExtendedAgainstX87, ConversionsBitForBit) {
  X87Mode mode;
  Random r;
  const long pairs = pair_count();
  Mismatches m;
  for (long i = 0; i < pairs && m.count < 10; ++i) {
    const volatile double d = random_double(r);
    const volatile long double loaded = d;
    const SoftExtended from_double{d};
    m.check("from double", from_double, from_double, from_double, loaded);
    const SoftExtended e = random_extended(r);
    m.check("to double", e, e, e, hardware(e));
  }
  EXPECT_EQ(m.count, 0);
}

// The formulas of the operation table, written once for either type.
template <class E>
double formula(int row, double n1, double n2) {
  const E two{2.0};
  switch (row) {
    case 0: return static_cast<double>(E{n2} + E{n1});
    case 1: return static_cast<double>(E{n1} - E{n2});
    case 2: return static_cast<double>(E{n2} * E{n1});
    case 3: return static_cast<double>(E{n1} / E{n2});
    case 5: case 10: return static_cast<double>(two * E{n1});
    case 6: return static_cast<double>(E{n1} / two);
    case 7: return static_cast<double>((E{PI} * two) * E{n1});
    case 8: return static_cast<double>((E{n1} * E{PI}) * two);
    case 9: return static_cast<double>((E{n1} + E{n1}) * two);
    case 11: return static_cast<double>((two * E{n2}) + E{n1});
    default: return static_cast<double>(E{n2} * E{n1});
  }
}

TEST(SoftExtendedAgainstX87, FormulasOfTheOperationTable) {
  X87Mode mode;
  Random r;
  const long pairs = pair_count();
  int mismatches = 0;
  // Numbers the program reads are never signalling NaNs. (Met as a memory
  // operand, such a NaN is compared with the other before it is quieted, so
  // which NaN comes out would hang on the compiler's choice of instruction.)
  const auto quiet = [](double d) { return d != d ? double_of(bits_of(d) | (1ULL << 51)) : d; };
  for (long i = 0; i < pairs && mismatches < 10; ++i) {
    const double n1 = quiet(random_double(r)), n2 = quiet(random_double(r));
    for (int row = 0; row < 13; ++row) {
      if (row == 4) continue;  // the power is the library's
      const uint64_t table = bits_of(OPERATIONS[row].formula(0, n1, n2));
      const uint64_t hard = bits_of(formula<long double>(row, n1, n2));
      const uint64_t soft = bits_of(formula<SoftExtended>(row, n1, n2));
      if (table != hard || soft != hard) {
        ++mismatches;
        ADD_FAILURE() << OPERATIONS[row].code << " " << n1 << " " << n2 << ": table " << table
                      << ", x87 " << hard << ", soft " << soft;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}
#endif

}  // namespace
}  // namespace zw
