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

}  // namespace

namespace formula {

double add(double, double n1, double n2) { return static_cast<double>(Ext{n2} + Ext{n1}); }
double subtract(double, double n1, double n2) { return static_cast<double>(Ext{n1} - Ext{n2}); }
double multiply(double, double n1, double n2) { return static_cast<double>(Ext{n2} * Ext{n1}); }
double divide(double, double n1, double n2) { return static_cast<double>(Ext{n1} / Ext{n2}); }
double power(double result, double n1, double) { return calc_pow(result, n1); }
// The circle, square and rectangle formulas are named after their codes,
// not their shapes: they are the program's own and deliberate, so "kf"
// gives what "ku" gives (2·pi·r), "qf" what "kd" gives (2·a), and "ru"
// gives 2·b + a.
double kd(double, double n1, double) { return static_cast<double>(Ext{2.0} * Ext{n1}); }
double kr(double, double n1, double) { return static_cast<double>(Ext{n1} / Ext{2.0}); }
double ku(double, double n1, double) { return static_cast<double>((Ext{PI} * Ext{2.0}) * Ext{n1}); }
double kf(double, double n1, double) { return static_cast<double>((Ext{n1} * Ext{PI}) * Ext{2.0}); }
double qu(double, double n1, double) { return static_cast<double>((Ext{n1} + Ext{n1}) * Ext{2.0}); }
double qf(double, double n1, double) { return static_cast<double>(Ext{2.0} * Ext{n1}); }
double ru(double, double n1, double n2) { return static_cast<double>((Ext{2.0} * Ext{n2}) + Ext{n1}); }
double rf(double, double n1, double n2) { return static_cast<double>(Ext{n2} * Ext{n1}); }

}  // namespace formula

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

