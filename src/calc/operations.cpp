#include "calc/operations.h"

#include <cmath>

#include "calc/extended.h"

namespace zw {

namespace {

using Ext = Extended;

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

#if (defined(__i386__) || defined(__x86_64__)) && !defined(ZW_SOFT_EXTENDED)
namespace {

// Every formula but the power is one extended operation on number1 and an
// operand taken from number2 or a constant: n2 + n1, n1 - n2, a · n1 or
// n1 / n2. The rest follow exactly: 2·n2 is exact; n1 / 2 is n1 · 0.5;
// (n1 + n1) · 2 is 4 · n1; (n1 · pi) · 2 is (pi · 2) · n1, scaling by two
// commuting with the rounding (no value here comes near either end of the
// extended range). All four are worked out and the row's taken, so the
// unit never waits on a jump it could not foresee.
enum class Shape : uint8_t { SUM, DIFFERENCE, PRODUCT, QUOTIENT, POWER };
enum class Operand : uint8_t { NUMBER2, TWICE_NUMBER2, CONSTANT };

struct FormulaShape {
  Shape shape;
  Operand operand;
  long double constant;
};

// shape                operand                 constant
constexpr FormulaShape SHAPES[13] = {
    {Shape::SUM,        Operand::NUMBER2,       0},              // +
    {Shape::DIFFERENCE, Operand::NUMBER2,       0},              // -
    {Shape::PRODUCT,    Operand::NUMBER2,       0},              // x
    {Shape::QUOTIENT,   Operand::NUMBER2,       0},              // /
    {Shape::POWER,      Operand::NUMBER2,       0},              // h
    {Shape::PRODUCT,    Operand::CONSTANT,      2},              // kd
    {Shape::PRODUCT,    Operand::CONSTANT,      0.5},            // kr
    {Shape::PRODUCT,    Operand::CONSTANT,      Ext{PI} * 2},    // ku
    {Shape::PRODUCT,    Operand::CONSTANT,      Ext{PI} * 2},    // kf
    {Shape::PRODUCT,    Operand::CONSTANT,      4},              // qu
    {Shape::PRODUCT,    Operand::CONSTANT,      2},              // qf
    {Shape::SUM,        Operand::TWICE_NUMBER2, 0},              // ru
    {Shape::PRODUCT,    Operand::NUMBER2,       0},              // rf
};

}  // namespace

double apply_operation(int row, double result, double n1, double n2) {
  const FormulaShape& f = SHAPES[row];
  if (f.shape == Shape::POWER) return calc_pow(result, n1);
  const Ext operands[3] = {Ext{n2}, Ext{2.0} * Ext{n2}, f.constant};
  const Ext a = operands[static_cast<int>(f.operand)];
  const double results[4] = {static_cast<double>(a + Ext{n1}), static_cast<double>(Ext{n1} - Ext{n2}),
                             static_cast<double>(a * Ext{n1}), static_cast<double>(Ext{n1} / Ext{n2})};
  return results[static_cast<int>(f.shape)];
}
#else
double apply_operation(int row, double result, double n1, double n2) {
  return OPERATIONS[row].formula(result, n1, n2);
}
#endif

double calc_pow(double base, double exponent) {
  if (exponent == 0) return 1.0;
  if (base == 1.0) return 1.0;
  // A NaN operand gives a NaN with the sign of the base.
  if (std::isnan(base) || std::isnan(exponent)) {
    return std::copysign(std::numeric_limits<double>::quiet_NaN(), base);
  }
  // A finite negative base with a finite exponent that is no integer: the
  // NaN with its sign bit set.
  if (base < 0 && std::isfinite(base) && std::isfinite(exponent) &&
      std::trunc(exponent) != exponent) {
    return -std::numeric_limits<double>::quiet_NaN();
  }
  return std::pow(base, exponent);
}

}  // namespace zw

