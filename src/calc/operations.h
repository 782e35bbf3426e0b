// The operation table and its formulas.
#pragma once

#include <cstddef>
#include <iterator>
#include <limits>
#include <string_view>

namespace zw {

// Formulas hold their intermediate values in the x87 extended format
// (calc/extended.h) and round to double once, on storage.
constexpr double PI = 3.141592653589793;

// The formulas of the table (operations.cpp), named after their codes.
namespace formula {
using Function = double(double result, double number1, double number2);
Function add, subtract, multiply, divide, power, kd, kr, ku, kf, qu, qf, ru, rf;
}  // namespace formula

using Formula = formula::Function*;

struct Operation {
  std::string_view code;
  std::string_view menu_entry;
  bool one_number;
  Formula formula;
  std::string_view label;
};

// The power with the special cases of IEEE 754 pow, NaN signs included.
double calc_pow(double base, double exponent);

// clang-format off
inline constexpr Operation OPERATIONS[] = {
  // code  menu entry            one number  formula             label
  {"+",  " + (Plus)",           false,      formula::add,       "Summe: "},
  {"-",  " - (Minus)",          false,      formula::subtract,  "Differenz: "},
  {"x",  " x (Mal)",            false,      formula::multiply,  "Produkt: "},
  {"/",  " / (Geteilt)",        false,      formula::divide,    "Quotient: "},
  {"h",  " h (Hoch)",           true,       formula::power,     "Ergebnis: "},
  {"kd", " kd (Kreis-Dm)",      true,       formula::kd,        "Ergebnis: "},
  {"kr", " kr (Kreis-r)",       true,       formula::kr,        "Ergebnis: "},
  {"ku", " ku (Kreis-U)",       true,       formula::ku,        "Ergebnis: "},
  {"kf", " kf (Kreis-F)",       true,       formula::kf,        "Ergebnis: "},
  {"qu", " qu (Quadrat-U)",     true,       formula::qu,        "Ergebnis: "},
  {"qf", " qf (Quadrat-F)",     true,       formula::qf,        "Ergebnis: "},
  {"ru", " ru (Rechteck-U)",    false,      formula::ru,        "Ergebnis: "},
  {"rf", " rf (Rechteck-F)",    false,      formula::rf,        "Ergebnis: "},
};
// clang-format on
constexpr int OPERATION_COUNT = 13;
static_assert(std::size(OPERATIONS) == OPERATION_COUNT);

constexpr std::string_view QUESTION_TEXT =
    "BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES";
constexpr std::string_view ANSWER_TEXT = "Sie ist Definitiv 10.5*4";

}  // namespace zw
