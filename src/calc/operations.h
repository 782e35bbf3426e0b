// The operation table and its formulas.
#pragma once

#include <cstddef>
#include <limits>
#include <string_view>

namespace zw {

// Formulas hold their intermediate values in the x87 extended format
// (calc/extended.h) and round to double once, on storage.
constexpr double PI = 3.141592653589793;


using Formula = double (*)(double result, double number1, double number2);

struct Operation {
  std::string_view code;
  std::string_view menu_entry;
  bool one_number;
  Formula formula;
  std::string_view label;
};

// The power with the special cases of IEEE 754 pow, NaN signs included.
double calc_pow(double base, double exponent);

extern const Operation OPERATIONS[13];

constexpr std::string_view QUESTION_TEXT =
    "BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES";
constexpr std::string_view ANSWER_TEXT = "Sie ist Definitiv 10.5*4";

}  // namespace zw
