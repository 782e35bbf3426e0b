// The type the formulas hold their intermediate values in: the x87 extended
// format, in hardware where the compiler's long double is that format and
// in software elsewhere (or everywhere, built with ZW_SOFT_EXTENDED).
#pragma once

#include <limits>

#if (defined(__i386__) || defined(__x86_64__)) && !defined(ZW_SOFT_EXTENDED)
namespace zw {
static_assert(std::numeric_limits<long double>::digits == 64,
              "x86 long double is the x87 extended format");
using Extended = long double;
}  // namespace zw
#else
#include "calc/soft_extended.h"
namespace zw {
using Extended = SoftExtended;
}  // namespace zw
#endif
