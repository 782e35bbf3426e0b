#include "calc/calculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "calc/operations.h"
#include "console/console.h"
#include "console/number/number_text.h"
#include "testing/calculator_test_texts.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

const std::string& START_TEXT = zw::EXPECTED_START_TEXT;

// Runs a whole session with piped input and output (into the port's block
// with `block`); returns what was printed after the start texts.
std::string run_piped(const std::string& input, bool block) {
  VirtualConsole vc(80, 25, 25);
  vc.redirect_output(true);
  vc.keep_output_block(block);
  vc.redirect_input(input);
  auto con = std::make_unique<Console>();
  reset_console(*con, &vc);
  run_calculator(*con);
  EXPECT_EQ(vc.output().substr(0, START_TEXT.size()), START_TEXT);
  return vc.output().size() >= START_TEXT.size() ? vc.output().substr(START_TEXT.size()) : vc.output();
}

TEST(CompareText, OrdersBytesUnsignedThenByLength) {
  struct Case {
    std::optional<std::string_view> left, right;
    int want;
  };
  const Case cases[] = {
      {"x", "x", 0},       {"X", "x", -1},          {"+ ", "+", 1},
      {"", "", 0},         {"", "a", -1},           {"a", "", 1},
      {"\xff", "z", 1},    {"ab", "abc", -1},       {"abd", "abc", 1},
      {std::nullopt, std::nullopt, 0},             {"a", std::nullopt, 1},
      {"", std::nullopt, 0}, {std::nullopt, "a", -1}, {std::nullopt, "", 0},
      {std::string_view("a\0b", 3), std::string_view("a\0c", 3), -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compare_text(c.left, c.right), c.want)
        << (c.left ? std::string(*c.left) : "<absent>") << " vs "
        << (c.right ? std::string(*c.right) : "<absent>");
  }
}

// The dispatch against the comparison chain it replaces: every text of up
// to three bytes from an alphabet that holds every code byte, their other
// cases and neighbours, blanks and odd bytes; the question text and its
// near misses; the empty and the absent text.
TEST(FindOperation, EqualsTheComparisonChain) {
  static constexpr char ALPHABET[] = "+-x/hkdrufqHKDRUFQX*.0 ,\"\t\r\n\x1b\x7f\x80\xff\0aegilsy";
  static_assert(sizeof ALPHABET - 1 == 40);
  const std::string_view alphabet(ALPHABET, sizeof ALPHABET - 1);
  std::vector<std::optional<std::string>> texts = {std::nullopt, std::string()};
  for (char a : alphabet) {
    texts.push_back(std::string(1, a));
    for (char b : alphabet) {
      texts.push_back(std::string{a, b});
      for (char c : alphabet) texts.push_back(std::string{a, b, c});
    }
  }
  const std::string question(QUESTION_TEXT);
  texts.push_back(question);
  texts.push_back(question.substr(0, question.size() - 1));
  texts.push_back(question + " ");
  texts.push_back(question + '\0');
  for (size_t i = 0; i < question.size(); i += 13) {
    std::string near = question;
    near[i] = static_cast<char>(near[i] ^ 0x20);
    texts.push_back(near);
  }
  for (const auto& text : texts) {
    const std::optional<std::string_view> left =
        text ? std::optional<std::string_view>(*text) : std::nullopt;
    int chain = -1;
    for (int row = 0; row < 13; ++row) {
      if (compare_text(left, OPERATIONS[row].code) == 0) chain = row;
    }
    const std::string_view given = text ? std::string_view(*text) : std::string_view();
    ASSERT_EQ(find_operation(given), chain) << given;
    ASSERT_EQ(is_question_text(given), compare_text(left, QUESTION_TEXT) == 0) << given;
  }
  EXPECT_EQ(texts.size(), 2u + 40 + 40 * 40 + 40 * 40 * 40 + 4 + 6);
}

std::string number_text(double v) {
  char buf[NUMBER_TEXT_ROOM];
  return std::string(buf, static_cast<size_t>(format_number(v, LeadingBlank::ADD, buf)));
}

const Operation& operation(std::string_view code) {
  for (const Operation& op : OPERATIONS)
    if (op.code == code) return op;
  throw std::runtime_error("no such code");
}

TEST(Formulas, EvaluateInExtendedPrecisionAndRoundOnce) {
  struct Case {
    const char* code;
    double result, n1, n2;
    const char* want;
  };
  const Case cases[] = {
      {"+", 0, 2, 3, " 5"},
      {"-", 0, 2, 5, "-3"},
      {"x", 0, 4, 2.5, " 10"},
      {"/", 0, 1, 0, " inf"},
      {"/", 0, 0, 0, "-nan"},
      {"/", 0, 10, 3, " 3.333333333333333"},
      {"kd", 0, 3, 0, " 6"},
      {"qf", 0, 3, 0, " 6"},
      {"kr", 0, 3, 0, " 1.5"},
      {"ku", 0, 1, 0, " 6.283185307179586"},
      {"kf", 0, 1, 0, " 6.283185307179586"},
      {"qu", 0, 3, 0, " 12"},
      {"ru", 0, 3, 4, " 11"},
      {"rf", 0, 3, 4, " 12"},
      // 2 x 1e308 only exists in the extended format.
      {"ru", 0, -1e308, 1e308, " 1e+308"},
      {"qu", 0, 1e308, 0, " inf"},
      {"+", 0, 0.1, 0.2, " 0.3"},
      {"h", 5, 2, 0, " 25"},
      {"h", 25, 0.5, 0, " 5"},
  };
  for (const Case& c : cases) {
    const Operation& op = operation(c.code);
    EXPECT_EQ(number_text(op.formula(c.result, c.n1, c.n2)), c.want) << c.code << " " << c.n1;
  }
}

TEST(Formulas, SumIsRoundedTwiceThroughTheExtendedFormat) {
  // 1 + 2^-53 + 2^-105: rounded first to 64 bits, then to 53, the sum
  // differs from one direct rounding (and from one rounding to 113 bits
  // and then 53).
  const double a = 1.0;
  const double b = std::ldexp(1.0, -53) + std::ldexp(1.0, -105);
  // To 64 bits 1 + 2^-53: a tie at 53 bits, which goes to the even 1.
  EXPECT_EQ(operation("+").formula(0, a, b), 1.0);
  EXPECT_EQ(a + b, 1.0 + std::ldexp(1.0, -52));
}

TEST(Power, SpecialCasesAndNanSigns) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double base, exponent;
    const char* want;
  };
  const Case cases[] = {
      {0, 2, " 0"},          {0, 0, " 1"},          {-1, 0.5, "-nan"},
      {nan, 0, " 1"},        {-nan, -0.0, " 1"},    {1, nan, " 1"},
      {1, inf, " 1"},        {0, -1, " inf"},       {-0.0, -1, "-inf"},
      {-0.0, -2, " inf"},    {0, 3, " 0"},          {-2, 0.5, "-nan"},
      {-2, 2, " 4"},         {-2, 3, "-8"},         {2, nan, " nan"},
      {-2, nan, "-nan"},     {nan, 2, " nan"},      {-nan, 2, "-nan"},
      {-inf, 0.5, " inf"},   {2, 0.5, " 1.414213562373095"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(number_text(calc_pow(c.base, c.exponent)), c.want) << c.base << " ^ " << c.exponent;
  }
}

TEST(CalculatorSession, PipedCyclesPrintLabelAndResult) {
  struct Case {
    const char* input;
    const char* want;
  };
  const Case cases[] = {
      {"+,2,3\n", "Summe:  5\r\n"},
      {"+\n2\n3\nh\n2\nh\n0.5\n", "Summe:  5\r\nErgebnis:  25\r\nErgebnis:  5\r\n"},
      {"h,2\n", "Ergebnis:  0\r\n"},
      {"h,0\n", "Ergebnis:  1\r\n"},
      {"h,-1\n", "Ergebnis:  inf\r\n"},
      {"-,2,5\n", "Differenz: -3\r\n"},
      {"/,1,0\n/,0,0\n", "Quotient:  inf\r\nQuotient: -nan\r\n"},
      {"-,2,4\nh,0.5\nh,2\nh,0\n",
       "Differenz: -2\r\nErgebnis: -nan\r\nErgebnis: -nan\r\nErgebnis:  1\r\n"},
      {"x,6,7\n", "Produkt:  42\r\n"},
      {"ru,-1e308,1e308\nqu,1e308\n", "Ergebnis:  1e+308\r\nErgebnis:  inf\r\n"},
      // No codes: both numbers are asked, nothing printed, result kept.
      {"+,2,3\nX,1,1\nH,1,1\nKD,1,1\n+ ,1,1\n,1,1\nh,2\n", "Summe:  5\r\nErgebnis:  25\r\n"},
      // One-number codes take one number each; the rest of the stream
      // goes on where the last item ended.
      {"kd,3 kd,4\n", "Ergebnis:  6\r\nErgebnis:  8\r\n"},
      {"\"BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES\",1,2\n",
       "Sie ist Definitiv 10.5*4\r\n"},
      {"BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES\n", ""},
      {"", ""},
      {"+,2", "Summe:  2\r\n"},
      {"+\r\n1\r2\r\n", "Summe:  3\r\n"},
  };
  for (const bool block : {false, true}) {
    for (const Case& c : cases) EXPECT_EQ(run_piped(c.input, block), c.want) << c.input << block;
  }
}

}  // namespace
}  // namespace zw
