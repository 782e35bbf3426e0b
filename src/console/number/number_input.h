// Number input: the text of an item turned into a number, by the integer
// road (with the &H, &O, &B radix forms) or by strtod rules. The mirror of
// number_text on the output side. Pure functions of their inputs.
#pragma once

#include <cstdint>

namespace zw {

// Integer conversion with the &H, &O, &B radix forms; a radix form wraps
// at the width.
int32_t text_to_int32(const char* text, int32_t length);
int64_t text_to_int64(const char* text, int32_t length);
// strtod rules, "." as the decimal point whatever the locale.
double text_to_double(const char* text);

// The number of a split number item (zero-terminated) by the integer and
// strtod roads.
double item_to_double(const char* item, int32_t length, bool looks_float);

}  // namespace zw
