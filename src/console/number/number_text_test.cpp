#include "console/number/number_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace zw {
namespace {

std::string text_of(double v, LeadingBlank blank = LeadingBlank::ADD) {
  char buf[NUMBER_TEXT_ROOM];
  return std::string(buf, static_cast<size_t>(format_number(v, blank, buf)));
}

TEST(NumberText, SixteenDigitsGeneralFormWithLeadingBlank) {
  struct Case {
    double value;
    const char* want;
  };
  const Case cases[] = {
      {3, " 3"},
      {-2.5, "-2.5"},
      {12.5, " 12.5"},
      {100, " 100"},
      {0, " 0"},
      {-0.0, "-0"},
      {0.1 + 0.2, " 0.3"},
      {1.0 / 3, " 0.3333333333333333"},
      {10.0 / 3, " 3.333333333333333"},
      {std::sqrt(2.0), " 1.414213562373095"},
      {3.141592653589793, " 3.141592653589793"},
      {1e15, " 1000000000000000"},
      {9007199254740992.0, " 9007199254740992"},
      {9999999999999998.0, " 9999999999999998"},
      {1e16, " 1e+16"},
      {0.0001, " 0.0001"},
      {0.00012345, " 0.00012345"},
      {0.00001, " 1e-05"},
      {-1e-300, "-1e-300"},
      {std::numeric_limits<double>::max(), " 1.797693134862316e+308"},
      {std::numeric_limits<double>::denorm_min(), " 4.940656458412465e-324"},
      {-std::numeric_limits<double>::max(), "-1.797693134862316e+308"},
      {std::numeric_limits<double>::infinity(), " inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), " nan"},
      {-std::numeric_limits<double>::quiet_NaN(), "-nan"},
      {123456789012345678.0, " 1.234567890123457e+17"},
      {0.5, " 0.5"},
  };
  for (const Case& c : cases) EXPECT_EQ(text_of(c.value), c.want) << c.value;
}

TEST(NumberText, MatchesPrintfGeneralConversion) {
  // Sweep across magnitudes and digit patterns; the text must be exactly
  // what "%.16g" prints.
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    double v;
    uint64_t bits = seed;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isnan(v)) continue;
    char want[64];
    std::snprintf(want, sizeof want, "%.16g", v);
    std::string expect = want[0] == '-' ? want : std::string(" ") + want;
    ASSERT_EQ(text_of(v), expect);
  }
}

TEST(NumberText, WholeNumbersMatchPrintfGeneralConversion) {
  // Whole numbers take a road of their own; around 10^16 the general form
  // switches to the exponent, and -0 keeps its sign.
  std::vector<double> values = {0.0, -0.0, 1, -1, 9, 10, 99, 100, 4294967296.0,
                                9007199254740992.0, 9007199254740994.0,
                                9999999999999998.0, -9999999999999998.0, 1e16, -1e16,
                                2e16, 1e17, 0.5, -0.5, 0.9999999999999999};
  uint64_t seed = 0x2545F4914F6CDD1Dull;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const uint64_t digits = (seed >> 11) % 18;  // 1 to 10^17
    uint64_t scale = 1;
    for (uint64_t d = 0; d < digits; ++d) scale *= 10;
    const double whole = static_cast<double>((seed >> 3) % scale);
    values.push_back(i % 2 ? -whole : whole);
  }
  for (double v : values) {
    char want[64];
    std::snprintf(want, sizeof want, "%.16g", v);
    ASSERT_EQ(text_of(v), want[0] == '-' ? std::string(want) : std::string(" ") + want) << want;
    ASSERT_EQ(text_of(v, LeadingBlank::OMIT), want);
  }
}

TEST(NumberText, MatchesPrintfAcrossTheWholeRangeOfDoubles) {
  // Magnitudes from 1e-12 to 1e16 are rounded to 16 digits with exact
  // whole-number arithmetic, the rest with a power of five cut to 128 bits:
  // every binary exponent, subnormals of every length, both neighbours of
  // each power of ten, and exact halves at the 17th digit (ties go to the
  // even 16th).
  std::vector<double> values;
  uint64_t seed = 0x853C49E6748FEA9Bull;
  auto next = [&seed] { return seed = seed * 6364136223846793005ull + 1442695040888963407ull; };
  for (int q = -1074; q <= 971; ++q) {
    for (int i = 0; i < (q > -110 && q < 160 ? 60 : 12); ++i) {
      const uint64_t m = (1ULL << 52) | (next() >> 12);
      values.push_back(std::ldexp(static_cast<double>(m), q));
    }
  }
  for (int length = 1; length <= 52; ++length) {
    for (int i = 0; i < 20; ++i) {
      const uint64_t m = (1ULL << (length - 1)) | ((next() >> 12) & ((1ULL << (length - 1)) - 1));
      values.push_back(std::ldexp(static_cast<double>(m), -1074));
    }
  }
  for (int i = 0; i < 4000; ++i) {  // exact decimals past 10^16: 17th digits of 0 and 5
    const uint64_t n = (next() >> 14) | 1;
    values.push_back(static_cast<double>(n) * (i % 2 ? 10.0 : 5.0) * std::pow(10.0, i % 5));
  }
  values.push_back(std::numeric_limits<double>::max());
  values.push_back(std::numeric_limits<double>::min());
  for (int k = -323; k <= 308; ++k) {
    const double p = std::strtod(("1e" + std::to_string(k)).c_str(), nullptr);
    for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300)}) values.push_back(v);
    if (k < 308) {
      for (double f : {9.999999999999999, 9.9999999999999995, 9.999999999999998}) values.push_back(f * p);
    }
  }
  for (int e = -6; e <= 15; ++e) {  // j / 2^(16-e), j odd: 17 digits ending in 5
    const uint64_t low = static_cast<uint64_t>(std::ldexp(std::pow(10.0, e), 16 - e)) + 1;
    const uint64_t span = std::min<uint64_t>(8 * low, (1ULL << 53) - low);
    for (int i = 0; i < 50; ++i) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      const uint64_t j = (low + (seed >> 11) % span) | 1;
      values.push_back(std::ldexp(static_cast<double>(j), e - 16));
    }
  }
  for (double v : values) {
    for (double signed_v : {v, -v}) {
      char want[64];
      std::snprintf(want, sizeof want, "%.16g", signed_v);
      ASSERT_EQ(text_of(signed_v, LeadingBlank::OMIT), want) << std::hexfloat << signed_v;
    }
  }
}

TEST(NumberText, NoBlankWhenNotAsked) { EXPECT_EQ(text_of(7, LeadingBlank::OMIT), "7"); }

}  // namespace
}  // namespace zw
