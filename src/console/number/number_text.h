// Number text: "%.16g" with a blank in front of texts that do not begin
// with "-".
#pragma once

#include <cstdint>

namespace zw {

constexpr int NUMBER_DIGITS = 16;
// Room for the longest text, "-1.234567890123456e-308" (23 bytes), and
// for the digits moved in 16-byte pieces that may end past the text: a
// sign, 16 digits and a point, then 16 more bytes.
constexpr int NUMBER_TEXT_ROOM = 40;

// Whether a text that does not begin with "-" gets a blank in front.
enum class LeadingBlank : uint8_t { OMIT, ADD };

// Writes the text of `value` into `out` (NUMBER_TEXT_ROOM bytes, no zero
// byte) and returns its length, or 0 for no text.
int format_number(double value, LeadingBlank blank, char* out);

}  // namespace zw
