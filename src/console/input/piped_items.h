// Piped items: redirected standard input taken straight from its read
// block. Most items are a run of ordinary bytes ended by a comma or a line
// end, found with one scan, and a number item is converted as it is
// scanned; the input statement's splitter goes on, byte by byte, with
// anything else. Inline, as most piped items take this road.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "console/input/input_statement.h"
#include "console/number/plain_decimal.h"

namespace zw {

// What take_piped_item made of the next item.
enum class PipedItem : uint8_t {
  NUMBER,  // a number item converted where it lay: *number
  WHOLE,   // the whole item, in the buffer with its zero byte
  REST,    // its first item.length bytes (maybe none) in the buffer: the splitter goes on
};

// How a byte of an item is taken on this road: added as it is; added and
// marking a floating-point number (unless after "&", which never comes
// here); or left for the splitter: line ends, comma, quote, blanks and
// "&", in a number item also "d" and "D" (exponent letters to be), in a
// text item the zero byte (a text item ends at its first).
enum PipedByte : uint8_t { PLAIN, FLOAT_MARK, SPECIAL };

constexpr std::array<PipedByte, 256> piped_bytes(std::string_view special) {
  std::array<PipedByte, 256> kinds{};
  kinds.fill(PLAIN);
  for (unsigned char c : special) kinds[c] = SPECIAL;
  for (unsigned char c : std::string_view(".eE")) kinds[c] = FLOAT_MARK;
  return kinds;
}

inline constexpr std::array<PipedByte, 256> PIPED_TEXT_BYTES = piped_bytes(std::string_view("\n\r,\" \t&\0", 8));
inline constexpr std::array<PipedByte, 256> PIPED_NUMBER_BYTES = piped_bytes("\n\r,\" \t&dD");

// The first byte at or after `p` (and before `end`) that is none of "-./"
// and the digits, looked at eight bytes a word: the bulk of a number item.
// `*dot` is set when a "." comes before it. Bytes past `end` are read (the
// block has room for them) but never counted.
const char* skip_number_bytes(const char* p, const char* end, bool* dot);
// The first byte that is no blank, from `p` on (`last` if none is).
const char* skip_blanks(const char* p, const char* last);
// Where the next item starts when the bytes of one end at `p`, a byte that
// is no comma or LF (before the block's end `last`), as the splitter's step
// after an item leaves it: a number item's blanks skipped; then a comma or
// LF taken, a CR taken with the LF after it; any other byte after blanks
// starts the next item. nullptr when the item goes on (a byte that is no
// blank, comma or line end) or when the answer lies past `last`: the
// splitter decides then.
const char* after_item_ends_otherwise(const char* p, const char* last, ItemMode mode);
// A decimal item the plain roads leave to the library, from its bytes in
// the block.
double library_number(const char* first, const char* stop);

// The bytes of the next item that this road takes, up to `limit`, copied
// into `buffer` (limit + 1 bytes); blanks before the item dropped. WHOLE
// when they are the whole item, what ends it consumed; REST otherwise.
[[gnu::always_inline]] inline PipedItem scan_piped_item(InputContext& in, ItemMode mode, int32_t limit, char* buffer,
                                                        Item* item) {
  const std::array<PipedByte, 256>& kinds = mode == ItemMode::TEXT ? PIPED_TEXT_BYTES : PIPED_NUMBER_BYTES;
  const char* const last = in.block + in.block_len;
  // Twice at most: blanks before an item are dropped, and the item is
  // taken from the byte after them.
  for (;;) {
    const char* const first = in.block + in.block_pos;
    const char* const end = std::min(last, first + limit);
    const char* p = first;
    bool marked = false;
    // A number item is mostly digits, signs and a point.
    if (mode == ItemMode::NUMBER) p = skip_number_bytes(p, end, &marked);
    for (; p < end; ++p) {
      const PipedByte kind = kinds[static_cast<unsigned char>(*p)];
      if (kind == SPECIAL) break;
      marked |= kind == FLOAT_MARK;
    }
    if (p == first && p < end && (*p == ' ' || *p == '\t')) {
      in.block_pos = static_cast<size_t>(skip_blanks(p, last) - in.block);
      continue;
    }
    const int32_t length = static_cast<int32_t>(p - first);
    std::memcpy(buffer, first, static_cast<size_t>(length));
    buffer[length] = '\0';
    item->length = length;
    item->looks_float = marked;
    const char* next = nullptr;
    if (p < end) next = *p == ',' || *p == '\n' ? p + 1 : after_item_ends_otherwise(p, last, mode);
    in.block_pos = static_cast<size_t>((next != nullptr ? next : p) - in.block);
    return next != nullptr ? PipedItem::WHOLE : PipedItem::REST;
  }
}

// The same, out of line: a number item that is no plain decimal.
PipedItem scan_piped_number(InputContext& in, int32_t limit, char* buffer, Item* item);

// Takes the next item of redirected standard input as far as the read
// block holds it plainly: with `number` given, a number item that is a
// plain decimal converted in place; else (or failing that) the bytes the
// splitter would add to the item, up to `limit`, copied into `buffer`
// (limit + 1 bytes). What ends a whole item is consumed; blanks before an
// item are dropped. Anything else (a quote, "&", blanks in a text item, the
// limit, the block's end, bytes given back, a typed line) is the splitter's:
// REST, and the bytes after those copied are left where they are.
[[gnu::always_inline]] inline PipedItem take_piped_item(InputContext& in, ItemMode mode, int32_t limit,
                                                        char* buffer, Item* item, double* number) {
  if (in.source != InputSource::STANDARD_DEVICE || in.putback_count != 0) {
    *item = Item{};
    return PipedItem::REST;
  }
  if (number == nullptr) return scan_piped_item(in, mode, limit, buffer, item);
  // Most piped number items are plain decimals ended by a comma or a line
  // end: converted as they are read.
  const char* const first = in.block + in.block_pos;
  const char* const end = std::min<const char*>(in.block + in.block_len, first + limit);
  const PlainDecimal d = read_plain_decimal(first, end);
  if (d.count > 0 && d.stop < end) {
    const char* const stop = d.stop;
    const char* const next = *stop == ',' || *stop == '\n'
                                 ? stop + 1
                                 : after_item_ends_otherwise(stop, in.block + in.block_len, ItemMode::NUMBER);
    if (next != nullptr) {
      if (!plain_decimal_to_double(d, number)) *number = library_number(first, stop);
      in.block_pos = static_cast<size_t>(next - in.block);
      return PipedItem::NUMBER;
    }
  }
  return scan_piped_number(in, limit, buffer, item);
}

}  // namespace zw
