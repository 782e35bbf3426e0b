// Number input: the text of an item turned into a number, by the integer
// road (with the &H, &O, &B radix forms) or by strtod rules. The mirror of
// number_text on the output side.
#pragma once

#include <cstdint>

namespace zw {

// Integer conversion with the &H, &O, &B radix forms; a radix form wraps
// at the width.
int32_t text_to_int32(const char* text, int32_t length);
int64_t text_to_int64(const char* text, int32_t length);
// The number of a split number item by the integer and strtod roads.
double item_to_double(const char* item, int32_t length, bool looks_float);
// item_to_double for the items it can take without a zero byte after them
// (plain digits with an optional "-", and short decimals): false, and
// nothing stored, for the rest. Reads whole words: 8 bytes past the item
// must be readable.
bool plain_item_to_double(const char* item, int32_t length, bool looks_float, double* value);
// The number at `p` if it is the plain kind most items are: an optional
// sign, digits, a point with digits after it or none, an exponent. `*stop`
// is the byte after it, and an item of exactly those bytes is what
// item_to_double makes of it: CONVERTED, the value stored; or LIBRARY, a
// decimal item that takes text_to_double. NONE, for anything else: the
// bytes are to be split and converted the general way. Reads whole words:
// 8 bytes past `end` must be readable.
enum class PlainNumber : uint8_t { NONE, CONVERTED, LIBRARY };
PlainNumber plain_number_to_double(const char* p, const char* end, double* value, const char** stop);
// strtod rules, "." as the decimal point whatever the locale.
double text_to_double(const char* text);

}  // namespace zw
