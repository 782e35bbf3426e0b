#include "calc/operations.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "calc/extended.h"

namespace zw {

namespace {

using Ext = Extended;

// The quiet NaN of x86 with the given sign, by its bits, on every processor
// (the legacy quiet NaN of MIPS is another pattern).
double nan_with_sign(bool negative) {
  return std::bit_cast<double>((negative ? 1ULL << 63 : 0) | 0x7FF8000000000000ULL);
}

double add(double, double n1, double n2) { return static_cast<double>(Ext{n2} + Ext{n1}); }
double subtract(double, double n1, double n2) { return static_cast<double>(Ext{n1} - Ext{n2}); }
double multiply(double, double n1, double n2) { return static_cast<double>(Ext{n2} * Ext{n1}); }
double divide(double, double n1, double n2) { return static_cast<double>(Ext{n1} / Ext{n2}); }
double power(double result, double n1, double) { return calc_pow(result, n1); }
// The circle, square and rectangle formulas are named after their codes,
// not their shapes: they are the program's own and deliberate, so "kf"
// gives what "ku" gives (2·pi·r), "qf" what "kd" gives (2·a), and "ru"
// gives 2·b + a.
double formula_kd(double, double n1, double) { return static_cast<double>(Ext{2.0} * Ext{n1}); }
double formula_kr(double, double n1, double) { return static_cast<double>(Ext{n1} / Ext{2.0}); }
double formula_ku(double, double n1, double) { return static_cast<double>((Ext{PI} * Ext{2.0}) * Ext{n1}); }
double formula_kf(double, double n1, double) { return static_cast<double>((Ext{n1} * Ext{PI}) * Ext{2.0}); }
double formula_qu(double, double n1, double) { return static_cast<double>((Ext{n1} + Ext{n1}) * Ext{2.0}); }
double formula_qf(double, double n1, double) { return static_cast<double>(Ext{2.0} * Ext{n1}); }
double formula_ru(double, double n1, double n2) { return static_cast<double>((Ext{2.0} * Ext{n2}) + Ext{n1}); }
double formula_rf(double, double n1, double n2) { return static_cast<double>(Ext{n2} * Ext{n1}); }

}  // namespace

// code   menu entry             one number  formula                label
const Operation OPERATIONS[13] = {
    {"+", " + (Plus)", false, add, "Summe: "},
    {"-", " - (Minus)", false, subtract, "Differenz: "},
    {"x", " x (Mal)", false, multiply, "Produkt: "},
    {"/", " / (Geteilt)", false, divide, "Quotient: "},
    {"h", " h (Hoch)", true, power, "Ergebnis: "},
    {"kd", " kd (Kreis-Dm)", true, formula_kd, "Ergebnis: "},
    {"kr", " kr (Kreis-r)", true, formula_kr, "Ergebnis: "},
    {"ku", " ku (Kreis-U)", true, formula_ku, "Ergebnis: "},
    {"kf", " kf (Kreis-F)", true, formula_kf, "Ergebnis: "},
    {"qu", " qu (Quadrat-U)", true, formula_qu, "Ergebnis: "},
    {"qf", " qf (Quadrat-F)", true, formula_qf, "Ergebnis: "},
    {"ru", " ru (Rechteck-U)", false, formula_ru, "Ergebnis: "},
    {"rf", " rf (Rechteck-F)", false, formula_rf, "Ergebnis: "},
};

double calc_pow(double base, double exponent) {
  if (exponent == 0) return 1.0;
  if (base == 1.0) return 1.0;
  // A NaN operand gives a NaN with the sign of the base.
  if (std::isnan(base) || std::isnan(exponent)) {
    return nan_with_sign(std::signbit(base));
  }
  // A finite negative base with a finite exponent that is no integer: the
  // NaN with its sign bit set.
  if (base < 0 && std::isfinite(base) && std::isfinite(exponent) &&
      std::trunc(exponent) != exponent) {
    return nan_with_sign(true);
  }
  return std::pow(base, exponent);
}

}  // namespace zw

