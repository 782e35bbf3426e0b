// Number text: "%.16g" with a blank in front of texts that do not begin
// with "-".
#pragma once

#include <cstdint>

namespace zw {

constexpr int NUMBER_DIGITS = 16;
// Room for the longest text, "-1.234567890123456e-308" (23 bytes), with a
// byte to spare for the conversion, plus the leading blank.
constexpr int NUMBER_TEXT_ROOM = NUMBER_DIGITS + 8 + 1;

// Whether a text that does not begin with "-" gets a blank in front.
enum class LeadingBlank : uint8_t { OMIT, ADD };

// Writes the text of `value` into `out` (NUMBER_TEXT_ROOM bytes, no zero
// byte) and returns its length, or 0 for no text.
int format_number(double value, LeadingBlank blank, char* out);

}  // namespace zw
