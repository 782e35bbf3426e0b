// The floating-point mode the calculator's formulas are written for, set
// once at start-up for the whole process.
#pragma once

namespace zw {

// 64-bit significand, round to nearest, every floating-point exception
// masked (invalid operations give NaNs, division by zero and overflow
// infinities). Off x86 only the rounding is set: there is no extended
// format to choose.
void set_arithmetic_mode();

}  // namespace zw
