// Eight bytes in one word, for the scans that look at text a word at a
// time: the byte-wise constants and the test of every byte against a range.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zw {

constexpr uint64_t ONES = 0x0101010101010101;  // 1 in every byte
constexpr uint64_t HIGH = ONES * 0x80;         // every byte's high bit
constexpr uint64_t LOW7 = ONES * 0x7F;         // every byte's other bits

// The high bit of every byte of `x` that lies outside `first`..`last`
// (both below 0x80), every other bit clear.
constexpr uint64_t bytes_outside(uint64_t x, uint8_t first, uint8_t last) {
  const uint64_t low = x & LOW7;
  return ~((low + ONES * (0x80 - first)) & ~(low + ONES * (0x7F - last)) & ~x) & HIGH;
}

// The high bit of byte `count` (below 8) and every byte after it: the bytes
// of a word that lie past the end of its text.
constexpr uint64_t bytes_from(ptrdiff_t count) { return HIGH & ~((uint64_t{1} << (8 * count)) - 1); }

}  // namespace zw
