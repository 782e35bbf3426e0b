#include "platform/fp_mode.h"

#include <cfenv>

#if defined(_WIN32) && (defined(__i386__) || defined(__x86_64__))
#include <float.h>
#endif

namespace zw {

namespace {

#if defined(__i386__) || defined(__x86_64__)
// The x87 control word: exception masks in bits 0-5 (all set), precision
// control in bits 8-9 (3 = 64-bit significand), rounding control in bits
// 10-11 (0 = nearest).
[[maybe_unused]] void set_x87_extended_nearest() {
  unsigned short cw = 0;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  cw = static_cast<unsigned short>((cw & ~0x0F3Fu) | 0x033Fu);
  __asm__ volatile("fldcw %0" : : "m"(cw));
}
#endif

}  // namespace

void set_arithmetic_mode() {
#if defined(_WIN32) && (defined(__i386__) || defined(__x86_64__))
  // The C runtime masks the exceptions of both units. The 64-bit runtime
  // refuses the precision field of _controlfp, and long double there is the
  // x87 type too, so its control word is set directly.
  _controlfp(_MCW_EM, _MCW_EM);
#if defined(__i386__)
  _controlfp(_PC_64 | _RC_NEAR, _MCW_PC | _MCW_RC);
#else
  _controlfp(_RC_NEAR, _MCW_RC);
  set_x87_extended_nearest();
#endif
#elif defined(__i386__) || defined(__x86_64__)
  set_x87_extended_nearest();
  std::fesetround(FE_TONEAREST);
#else
  std::fesetround(FE_TONEAREST);
#endif
}

}  // namespace zw
