// Number text: "%.16g" with a blank in front of texts that do not begin
// with "-".
#pragma once

#include <cstddef>

namespace zw {

constexpr int NUMBER_DIGITS = 16;
// Room for the converted text (P + 8) plus the leading blank.
constexpr int NUMBER_TEXT_ROOM = NUMBER_DIGITS + 8 + 1;

// Writes the text of `value` into `out` (NUMBER_TEXT_ROOM bytes, no zero
// byte) and returns its length, or 0 for no text.
int format_number(double value, bool leading_blank, char* out);

}  // namespace zw
