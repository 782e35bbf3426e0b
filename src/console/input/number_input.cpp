#include "console/input/number_input.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace zw {

namespace {

int digit_value(int c, int radix) {
  int d;
  if (c >= '0' && c <= '9') {
    d = c - '0';
  } else if (c >= 'A' && c <= 'F') {
    d = c - 'A' + 10;
  } else if (c >= 'a' && c <= 'f') {
    d = c - 'a' + 10;
  } else {
    return -1;
  }
  return d < radix ? d : -1;
}

// Integer conversion shared by both widths: spaces, then an "&" radix form
// kept modulo 2^bits, else base 10 with strtoul rules.
template <typename Unsigned>
Unsigned text_to_unsigned(const char* text, int32_t length) {
  int32_t i = 0;
  while (i < length && text[i] == ' ') ++i;
  if (i >= length) return 0;
  if (length - i >= 2 && text[i] == '&') {
    unsigned radix = 8;
    int32_t start = i + 1;
    switch (text[i + 1]) {
      case 'H': case 'h': radix = 16; start = i + 2; break;
      case 'O': case 'o': radix = 8; start = i + 2; break;
      case 'B': case 'b': radix = 2; start = i + 2; break;
      default: break;
    }
    Unsigned value = 0;
    for (int32_t j = start; j < length; ++j) {
      const int d = digit_value(static_cast<unsigned char>(text[j]), static_cast<int>(radix));
      if (d < 0) break;
      value = static_cast<Unsigned>(value * radix + static_cast<Unsigned>(d));
    }
    return value;
  }
  // Plain digits, optionally negative, are the common case: items that get
  // here hold at most 18 of them, so the value cannot overflow. Everything
  // else (a "+", white space, no digits at all) takes the library road.
  const char* p = text + i;
  const char* end = text + length;
  const bool negative = *p == '-';
  const char* digits = negative ? p + 1 : p;
  if (digits < end && *digits >= '0' && *digits <= '9' && end - digits <= 18) {
    uint64_t value = 0;
    for (const char* d = digits; d < end && *d >= '0' && *d <= '9'; ++d) {
      value = value * 10 + static_cast<uint64_t>(*d - '0');
    }
    return static_cast<Unsigned>(negative ? 0 - value : value);
  }
  return static_cast<Unsigned>(std::strtoull(p, nullptr, 10));
}

}  // namespace

double item_to_double(const char* item, int32_t length, bool looks_float) {
  if (looks_float) return text_to_double(item);
  if (length <= 9) return static_cast<double>(text_to_int32(item, length));
  if (length <= 18 || item[0] == '&') return static_cast<double>(text_to_int64(item, length));
  return text_to_double(item);
}

int32_t text_to_int32(const char* text, int32_t length) {
  return static_cast<int32_t>(text_to_unsigned<uint32_t>(text, length));
}

int64_t text_to_int64(const char* text, int32_t length) {
  return static_cast<int64_t>(text_to_unsigned<uint64_t>(text, length));
}

double text_to_double(const char* text) {
  // Decimal numbers go through from_chars (correctly rounded, "." always);
  // hexadecimal numbers, inf, nan and anything unusual through strtod,
  // whose numeric locale is never changed from "C".
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  const bool decimal = (*p >= '0' && *p <= '9') || *p == '.';
  const bool hex = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
  if (decimal && !hex) {
    double value = 0;
    auto [ptr, ec] = std::from_chars(p, p + std::strlen(p), value, std::chars_format::general);
    if (ec == std::errc()) return negative ? -value : value;
  }
  return std::strtod(text, nullptr);
}

}  // namespace zw
