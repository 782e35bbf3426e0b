#include "console/input/piped_items.h"

#include <bit>

#include "console/number/byte_words.h"
#include "console/number/number_input.h"

namespace zw {

const char* skip_number_bytes(const char* p, const char* end, bool* dot) {
  if constexpr (std::endian::native != std::endian::little) {
    for (; p < end && static_cast<unsigned char>(*p - '-') <= '9' - '-'; ++p) *dot |= *p == '.';
    return p;
  }
  while (p < end) {
    uint64_t x;
    std::memcpy(&x, p, sizeof x);
    const ptrdiff_t left = end - p;
    uint64_t outside = bytes_outside(x, '-', '9');
    if (left < 8) outside |= bytes_from(left);
    const uint64_t before = outside == 0 ? ~uint64_t{0} : (outside & (0 - outside)) - 1;
    const uint64_t d = x ^ (ONES * '.');
    const uint64_t dots = ~(((d & LOW7) + LOW7) | d | LOW7);
    *dot |= (dots & before) != 0;
    if (outside != 0) return p + std::countr_zero(outside) / 8;
    p += 8;
  }
  return end;
}

[[gnu::noinline]] const char* skip_blanks(const char* p, const char* last) {
  while (p < last && (*p == ' ' || *p == '\t')) ++p;
  return p;
}

[[gnu::noinline]] const char* after_item_ends_otherwise(const char* p, const char* last, ItemMode mode) {
  const char* const ended = p;
  if (mode == ItemMode::NUMBER) p = skip_blanks(p, last);
  if (p == last) return nullptr;
  if (*p == ',' || *p == '\n') return p + 1;
  if (*p == '\r') return p + 1 == last ? nullptr : p + (p[1] == '\n' ? 2 : 1);
  return p != ended ? p : nullptr;
}

[[gnu::noinline]] PipedItem scan_piped_number(InputContext& in, int32_t limit, char* buffer, Item* item) {
  return scan_piped_item(in, ItemMode::NUMBER, limit, buffer, item);
}

[[gnu::noinline]] double library_number(const char* first, const char* stop) {
  char buffer[INPUT_NUMBER_MAX + 1];
  const size_t length = static_cast<size_t>(stop - first);
  if (length < 64) {
    std::memcpy(buffer, first, 64);  // one fixed-size move, no call
  } else {
    std::memcpy(buffer, first, length);
  }
  buffer[length] = '\0';
  return text_to_double(buffer);
}

}  // namespace zw
