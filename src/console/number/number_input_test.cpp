#include "console/number/number_input.h"

#include <gtest/gtest.h>


#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "console/number/plain_decimal.h"

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

TEST(DoubleConversion, NanBitsAreX86sOnEveryProcessor) {
  // The bits GNU's strtod gives on x86-64. Where the C library is GNU's and
  // the processor's own quiet NaN is x86's, strtod must agree; MIPS' legacy
  // encoding gives others, and other C libraries read payloads their own way.
  struct Case {
    const char* text;
    uint64_t bits;
  };
  const Case cases[] = {
      {"nan", 0x7FF8000000000000},
      {"-NaN.", 0xFFF8000000000000},
      {"+nan(0x1234).", 0x7FF8000000001234},
      {"-nan(42)", 0xFFF800000000002A},
      {" nan(010)", 0x7FF8000000000008},
      {"nan(0X1f)", 0x7FF800000000001F},
      {"nan(0x7ffffffffffff)", 0x7FFFFFFFFFFFFFFF},
      {"nan(0x8000000000000)", 0x7FF8000000000000},
      {"nan(0x10000000000000)", 0x7FF8000000000000},
      {"nan(0x1ffffffffffffffff)", 0x7FFFFFFFFFFFFFFF},
      {"nan()", 0x7FF8000000000000},
      {"nan(12x)", 0x7FF8000000000000},
      {"nan(_a)", 0x7FF8000000000000},
      {"nan(-1)", 0x7FF8000000000000},
      {"nan(1", 0x7FF8000000000000},
  };
#if defined(__GLIBC__)
  const bool x86_quiet_nan = std::bit_cast<uint64_t>(std::strtod("nan", nullptr)) == 0x7FF8000000000000;
#else
  const bool x86_quiet_nan = false;
#endif
  for (const Case& c : cases) {
    EXPECT_EQ(std::bit_cast<uint64_t>(text_to_double(c.text)), c.bits) << c.text;
    if (x86_quiet_nan) {
      EXPECT_EQ(std::bit_cast<uint64_t>(std::strtod(c.text, nullptr)), c.bits) << c.text;
    }
  }
}

TEST(DoubleConversion, DecimalItemsAgreeWithStrtod) {
  // Decimal items of up to 19 digits with small powers of ten take a short
  // road; the values right at and beside the halfway point between two
  // doubles (the integers from 2^53 to 2^63 with their parts of a unit)
  // are where a second rounding would show.
  std::vector<std::string> texts = {"0.5", "-0.0", "1.", ".5", "+2.5", "1e5", "1E-5", "1e", "1e+",
                                    "-.e1", "1.5e27", "1.5e28", "123e-27", "1e-28", "9007199254740993.0",
                                    "9007199254740993.001", "9007199254740992.999", "1234567890123456789.5"};
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  auto next = [&seed] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return seed >> 11;
  };
  for (int bit = 53; bit < 63; ++bit) {
    for (int i = 0; i < 300; ++i) {
      const uint64_t spacing = 1ULL << (bit - 52);
      const uint64_t halfway = ((1ULL << bit) | (next() & ((1ULL << bit) - 1) & ~(spacing - 1))) + spacing / 2;
      const int64_t offset = static_cast<int64_t>(next() % 3) - 1;
      std::string text = i % 3 == 0 ? "-" : "";
      text += std::to_string(halfway + static_cast<uint64_t>(offset));
      const char* tails[] = {"", ".0", ".00", ".001", ".999", ".5", ".01"};
      text += tails[next() % 7];
      if (i % 2) text.insert(text.size() - next() % 17, 1, '.');
      texts.push_back(text);
    }
  }
  for (int i = 0; i < 30000; ++i) {  // random digits, point and exponent, over the whole range
    std::string text;
    const int digits = 1 + static_cast<int>(next() % 20);
    for (int d = 0; d < digits; ++d) text += static_cast<char>('0' + next() % 10);
    text.insert(next() % (text.size() + 1), 1, '.');
    if (next() % 2) {
      text += next() % 2 ? 'e' : 'E';
      text += std::to_string(next() % 2 ? static_cast<int>(next() % 71) - 35 : static_cast<int>(next() % 731) - 380);
    }
    texts.push_back(text);
  }
  // 19 digits beside the halfway point between two doubles, anywhere from
  // the subnormals to the largest, and across the edges of overflow.
  for (const char* t : {"1.797693134862315708e308", "1.797693134862315807e308", "1.797693134862315808e308",
                        "2.225073858507201136e-308", "2.225073858507201137e-308", "4.940656458412465441e-324",
                        "2.470328229206232720e-324", "2.470328229206232721e-324"}) {
    texts.push_back(t);
  }
  if constexpr (std::numeric_limits<long double>::digits >= 54) {
    for (int i = 0; i < 20000; ++i) {
      const double d = std::bit_cast<double>(((next() << 11) ^ next()) % 0x7FEFFFFFFFFFFFFFull);
      const long double halfway = (static_cast<long double>(d) + std::nextafter(d, HUGE_VAL)) / 2;
      // A double-double has the exponent range of a double: the sum of the
      // largest two overflows there.
      if (!std::isfinite(halfway)) continue;
      char text[40];
      std::snprintf(text, sizeof text, "%.18Le", halfway);
      texts.push_back(text);
    }
  }
  for (const std::string& text : texts) {
    const double want = std::strtod(text.c_str(), nullptr);
    const double got = item_to_double(text.c_str(), static_cast<int32_t>(text.size()), true);
    EXPECT_EQ(str(got), str(want)) << text;
    EXPECT_EQ(std::signbit(got), std::signbit(want)) << text;
  }
}

// The item's number by the rules alone, from the library: strtod for a
// floating-point item and for long ones, else the signed 64-bit value of
// the digits (the 32-bit road gives the same below 10 bytes).
double model_item_number(const std::string& item, bool looks_float) {
  if (looks_float || item.size() > 18) return std::strtod(item.c_str(), nullptr);
  return static_cast<double>(static_cast<int64_t>(std::strtoull(item.c_str(), nullptr, 10)));
}

// The grammar reads only up to the end it is given (the bytes after it
// here are digits that would change the value), and a number it converts
// is the item's number; texts that are no plain number it never converts.
TEST(PlainDecimal, ReadsOnlyItsBytes) {
  struct Case {
    const char* text;
    bool plain;  // a plain number: converted here or left to the library
  };
  const Case cases[] = {
      {"0", true},           {"-0", true},           {"123456789", true},        {"-12345678", true},
      {"-123456789", true},  {"999999999999999999", true}, {"-999999999999999999", true},
      {"1234567890123456789", true}, {"+5", true},   {"1.5", true},             {"-0.0", true},
      {"0.1", true},         {"12345.6789", true},   {"-98765.4321e3", true},   {"1e400", true},
      {"5.", true},          {"-", false},           {"12a", false},            {"nan.", false},
      {"1.2.3", false},      {".", false},           {"1e", false},             {"1e+", false},
  };
  for (const Case& c : cases) {
    const std::string text = c.text;
    const std::string followed = text + "77777777";
    const PlainDecimal d = read_plain_decimal(followed.data(), followed.data() + text.size());
    const bool whole = d.count > 0 && d.stop == followed.data() + text.size();
    EXPECT_EQ(whole, c.plain) << text;
    double got = -12345;
    if (!whole || !plain_decimal_to_double(d, &got)) {
      // Integers of up to 18 bytes never need the library.
      EXPECT_FALSE(whole && d.integer && text.size() <= 18) << text;
      continue;
    }
    const double want = model_item_number(text, !d.integer);
    EXPECT_EQ(str(got), str(want)) << text;
    EXPECT_EQ(std::signbit(got), std::signbit(want)) << text;
  }
}

// Random items of digits, points, signs and exponent letters, followed by
// a comma and digits that must not be read into them: what the grammar
// converts is what the rules make of the item it ends, and so is what
// item_to_double makes of it.
TEST(PlainDecimal, EqualsTheRulesForTheItemItEnds) {
  uint64_t s = 0x2545F4914F6CDD1DULL;
  const auto next = [&s] {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    return s;
  };
  constexpr std::string_view ALPHABET = "0123456789012345678901234567890123456789..--+eE";
  int converted = 0;
  for (int i = 0; i < 100000; ++i) {
    std::string item;
    const size_t length = 1 + next() % 24;
    for (size_t k = 0; k < length; ++k) item += ALPHABET[next() % ALPHABET.size()];
    const bool looks_float = item.find_first_of(".eE") != std::string::npos;
    const double want = model_item_number(item, looks_float);
    const double whole_item = item_to_double(item.c_str(), static_cast<int32_t>(item.size()), looks_float);
    ASSERT_EQ(str(whole_item), str(want)) << item;
    ASSERT_EQ(std::signbit(whole_item), std::signbit(want)) << item;
    const std::string text = item + ",12345678";
    const PlainDecimal d = read_plain_decimal(text.data(), text.data() + item.size() + 1);
    double got = 0;
    if (d.count == 0 || d.stop != text.data() + item.size() || !plain_decimal_to_double(d, &got)) continue;
    ASSERT_EQ(d.integer, !looks_float) << item;
    ASSERT_EQ(str(got), str(want)) << item;
    ASSERT_EQ(std::signbit(got), std::signbit(want)) << item;
    ++converted;
  }
  EXPECT_GT(converted, 10000);  // the generator reaches the road
}

// Numbers of more than 19 digits are read from their first 19 and the
// digit after them: beside the halfway points between doubles (printed to
// 20 to 40 digits, just below, on and above them), whole numbers of 19 to
// 30 digits, and digits at random with a point and an exponent.
TEST(PlainDecimal, LongNumbersAgreeWithStrtod) {
  uint64_t s = 0x853C49E6748FEA9BULL;
  const auto next = [&s] {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    return s;
  };
  std::vector<std::string> texts = {"9007199254740993.0000", "9007199254740993.00000000000000000001",
                                    "9007199254740992.99999999999999999999", "18446744073709551615",
                                    "18446744073709551616", "-99999999999999999999", "+12345678901234567890.5e-300",
                                    "0.00000000000000000000000000001234567890123456789012"};
  if constexpr (std::numeric_limits<long double>::digits >= 54) {
    for (int i = 0; i < 6000; ++i) {
      const double d = std::bit_cast<double>(next() % 0x7FEFFFFFFFFFFFFFull);
      const long double halfway = (static_cast<long double>(d) + std::nextafter(d, HUGE_VAL)) / 2;
      // A double-double has the exponent range of a double: the sum of the
      // largest two overflows there.
      if (!std::isfinite(halfway)) continue;
      char text[80];
      std::snprintf(text, sizeof text, "%.*Le", 19 + static_cast<int>(next() % 21), halfway);
      texts.push_back(text);
    }
  }
  for (int i = 0; i < 6000; ++i) {
    std::string text = i % 3 == 0 ? "-" : "";
    const int digits = 19 + static_cast<int>(next() % 12);
    for (int d = 0; d < digits; ++d) text += static_cast<char>('0' + next() % 10);
    if (i % 2) {
      text.insert(text.size() - next() % digits, 1, '.');
      text += 'e';
      text += std::to_string(static_cast<int>(next() % 700) - 350);
    }
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    const std::string followed = text + ",12345678";
    const PlainDecimal d = read_plain_decimal(followed.data(), followed.data() + text.size() + 1);
    ASSERT_EQ(d.stop, followed.data() + text.size()) << text;
    double got = 0;
    // Where no road here can decide, the library does.
    if (!plain_decimal_to_double(d, &got)) got = text_to_double(text.c_str());
    const double want = std::strtod(text.c_str(), nullptr);
    ASSERT_EQ(str(got), str(want)) << text;
    ASSERT_EQ(std::signbit(got), std::signbit(want)) << text;
    const bool looks_float = text.find_first_of(".eE") != std::string::npos;
    ASSERT_EQ(str(item_to_double(text.c_str(), static_cast<int32_t>(text.size()), looks_float)), str(want)) << text;
  }
}

}  // namespace
}  // namespace zw
