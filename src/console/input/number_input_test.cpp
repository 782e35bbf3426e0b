#include "console/input/number_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zw {
namespace {

std::string str(double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

TEST(IntegerConversion, BothWidths) {
  struct Case {
    const char* text;
    int32_t want32;
    int64_t want64;
  };
  const Case cases[] = {
      {"  42", 42, 42},
      {"&HFFFFFFFF", -1, 4294967295},
      {"&H100000000", 0, 4294967296},
      {"&o777", 511, 511},
      {"&b", 0, 0},
      {"&x12", 0, 0},
      {"&12", 10, 10},
      {"+7", 7, 7},
      {"-7", -7, -7},
      {"", 0, 0},
      {"   ", 0, 0},
      {"-", 0, 0},
  };
  for (const Case& c : cases) {
    const int32_t n = static_cast<int32_t>(std::strlen(c.text));
    EXPECT_EQ(text_to_int32(c.text, n), c.want32) << c.text;
    EXPECT_EQ(text_to_int64(c.text, n), c.want64) << c.text;
  }
}

TEST(DoubleConversion, AgreesWithStrtodOnGeneratedTexts) {
  // Texts built from the characters a number item can hold.
  const char alphabet[] = "0123456789.eE+-xXpPaAfFinINtyY ";
  uint64_t seed = 12345;
  for (int i = 0; i < 50000; ++i) {
    char text[40];
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const int len = static_cast<int>((seed >> 59) + 1);
    for (int j = 0; j < len; ++j) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      text[j] = alphabet[(seed >> 33) % (sizeof alphabet - 1)];
    }
    text[len] = '\0';
    const double want = std::strtod(text, nullptr);
    const double got = text_to_double(text);
    if (std::isnan(want)) {
      EXPECT_TRUE(std::isnan(got)) << text;
    } else {
      EXPECT_EQ(str(got), str(want)) << text;
      EXPECT_EQ(std::signbit(got), std::signbit(want)) << text;
    }
  }
}

}  // namespace
}  // namespace zw
