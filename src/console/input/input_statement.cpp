#include "console/input/input_statement.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "console/console.h"
#include "console/input/line_editor.h"
#include "console/number/number_input.h"
#include "console/output/print_statement.h"
#include "console/output/screen_writer.h"

namespace zw {

namespace {

bool is_blank(int c) { return c == ' ' || c == '\t'; }

// Refills the block from standard input; false at the end of the stream.
bool refill_block(Console& con) {
  InputContext& in = con.input;
  if (in.at_end) return false;
  const size_t n = con.port->read_stdin(in.block, STDIN_BLOCK);
  in.block_pos = 0;
  in.block_len = n;
  if (n == 0) in.at_end = true;
  return n != 0;
}

// input_getc with its common case, a byte of the read block, kept inline.
inline int next_byte(Console& con) {
  InputContext& in = con.input;
  if (in.source == InputSource::STANDARD_DEVICE && in.putback_count == 0 && in.block_pos < in.block_len) {
    return static_cast<unsigned char>(in.block[in.block_pos++]);
  }
  return input_getc(con);
}

// The step after an item: blanks are skipped; a comma, LF or the end finish
// the item, CR takes a following LF with it, anything else starts the next
// item and is given back.
void finish_item(Console& con, int c) {
  while (is_blank(c)) c = next_byte(con);
  if (c == ',' || c == '\n' || c == INPUT_END) return;
  if (c == '\r') {
    const int next = next_byte(con);
    if (next != '\n') input_ungetc(con, next);
    return;
  }
  input_ungetc(con, c);
}

// How a byte inside an item is handled on the fast road: added as it is;
// added and marking a floating-point number (unless after "&"); or taken
// the slow way: line ends, comma, quote, blanks, "&", and "d" and "D",
// which a number item turns into an exponent letter.
enum ByteKind : uint8_t { PLAIN, FLOAT_MARK, SPECIAL };

constexpr std::array<ByteKind, 256> byte_kinds(std::string_view special) {
  std::array<ByteKind, 256> kinds{};
  kinds.fill(PLAIN);
  for (unsigned char c : special) kinds[c] = SPECIAL;
  for (unsigned char c : std::string_view(".eE")) kinds[c] = FLOAT_MARK;
  return kinds;
}

constexpr std::array<ByteKind, 256> BYTE_KINDS = byte_kinds("\n\r,\" \t&dD");

// The same for a whole item taken in one piece: a text item ends at its
// first zero byte, so one with a zero byte takes the slow road; "d" and "D"
// are plain in a text item.
constexpr std::array<ByteKind, 256> WHOLE_TEXT_KINDS = byte_kinds(std::string_view("\n\r,\" \t&\0", 8));
constexpr std::array<ByteKind, 256> WHOLE_NUMBER_KINDS = BYTE_KINDS;

// The first byte at or after `p` (and before `end`) that is none of "-./"
// and the digits, looked at eight bytes a word: the bulk of a number item.
// `*dot` is set when a "." comes before it. Bytes past `end` are read (the
// block has room for them) but never counted.
const char* skip_number_bytes(const char* p, const char* end, bool* dot) {
  if constexpr (std::endian::native != std::endian::little) {
    for (; p < end && static_cast<unsigned char>(*p - '-') <= '9' - '-'; ++p) *dot |= *p == '.';
    return p;
  }
  constexpr uint64_t ONES = 0x0101010101010101;
  constexpr uint64_t HIGH = ONES * 0x80;
  constexpr uint64_t LOW7 = ONES * 0x7F;
  while (p < end) {
    uint64_t x;
    std::memcpy(&x, p, sizeof x);
    const ptrdiff_t left = end - p;
    // Per byte, the high bit set where the byte lies in '-' .. '9'.
    const uint64_t low = x & LOW7;
    const uint64_t at_least = low + ONES * (0x80 - '-');
    const uint64_t above = low + ONES * (0x7F - '9');
    uint64_t outside = ~(at_least & ~above & ~x) & HIGH;
    if (left < 8) outside |= HIGH & ~((uint64_t{1} << (8 * left)) - 1);
    const uint64_t before = outside == 0 ? ~uint64_t{0} : (outside & (0 - outside)) - 1;
    const uint64_t d = x ^ (ONES * '.');
    const uint64_t dots = ~(((d & LOW7) + LOW7) | d | LOW7);
    *dot |= (dots & before) != 0;
    if (outside != 0) return p + std::countr_zero(outside) / 8;
    p += 8;
  }
  return end;
}

// The first byte that is no blank, from `p` on (`last` if none is).
[[gnu::noinline]] const char* skip_blanks(const char* p, const char* last) {
  while (p < last && is_blank(*p)) ++p;
  return p;
}

// Where the next item starts when the bytes of one end at `p` (before the
// block's end `last`), as finish_item leaves it: a number item's blanks
// skipped; then a comma or LF taken, a CR taken with the LF after it; any
// other byte after blanks starts the next item. nullptr when the item goes
// on (a byte that is no blank, comma or line end) or when the answer lies
// past `last`: the byte-by-byte road decides then.
[[gnu::noinline]] const char* after_item_ends_otherwise(const char* p, const char* last, ItemMode mode) {
  const char* const ended = p;
  if (mode == ItemMode::NUMBER) p = skip_blanks(p, last);
  if (p == last) return nullptr;
  if (*p == ',' || *p == '\n') return p + 1;
  if (*p == '\r') return p + 1 == last ? nullptr : p + (p[1] == '\n' ? 2 : 1);
  return p != ended ? p : nullptr;
}

// Most piped items are a run of ordinary bytes ended by a comma or a line
// end, all inside the read block: found with one scan and taken whole.
// Anything else (quotes, an item that reaches its limit or the block's end,
// given-back bytes) is left for the byte-by-byte road and nothing is taken:
// -1. Blanks before an item are dropped (every road drops them), and
// TAKE_AGAIN asks the caller to call once more. On success `*start` and the
// returned length give the item's bytes in the block, and what ends it is
// consumed.
constexpr int32_t TAKE_AGAIN = -2;
[[gnu::always_inline]] inline int32_t take_whole_item(InputContext& in, int32_t limit, ItemMode mode,
                                                      const char** start, bool* looks_float) {
  const std::array<ByteKind, 256>& kinds = mode == ItemMode::TEXT ? WHOLE_TEXT_KINDS : WHOLE_NUMBER_KINDS;
  if (in.source != InputSource::STANDARD_DEVICE || in.putback_count != 0) return -1;
  const char* first = in.block + in.block_pos;
  const char* end = in.block + std::min(in.block_len, in.block_pos + static_cast<size_t>(limit));
  const char* p = first;
  bool marked = false;
  // A number item is mostly digits, signs and a point.
  if (mode == ItemMode::NUMBER) p = skip_number_bytes(p, end, &marked);
  for (; p < end; ++p) {
    const ByteKind kind = kinds[static_cast<unsigned char>(*p)];
    if (kind == SPECIAL) break;
    marked |= kind == FLOAT_MARK;
  }
  if (p == first || p == end) {
    if (p == end || !is_blank(*p)) return -1;
    in.block_pos = static_cast<size_t>(skip_blanks(p, in.block + in.block_len) - in.block);
    return TAKE_AGAIN;
  }
  const char* next = p + 1;
  if (*p != ',' && *p != '\n') {
    next = after_item_ends_otherwise(p, in.block + in.block_len, mode);
    if (next == nullptr) return -1;
  }
  in.block_pos = static_cast<size_t>(next - in.block);
  *start = first;
  *looks_float = marked;
  return static_cast<int32_t>(p - first);
}

// The bulk of piped input: a run of bytes straight from the read block, as
// many as the item has room for, byte for byte as taking them one at a time
// would add them. Given-back bytes are taken the slow way first.
int32_t take_plain_run(InputContext& in, char* buffer, int32_t n, int32_t limit, bool ampersand_seen,
                       bool* looks_float) {
  size_t pos = in.block_pos;
  if (in.source != InputSource::STANDARD_DEVICE || in.putback_count != 0 || pos >= in.block_len ||
      BYTE_KINDS[static_cast<unsigned char>(in.block[pos])] == SPECIAL) {
    return n;  // most items of one or two bytes end here
  }
  const size_t end = std::min(in.block_len, pos + static_cast<size_t>(limit - n));
  while (pos < end) {
    const char c = in.block[pos];
    const ByteKind kind = BYTE_KINDS[static_cast<unsigned char>(c)];
    if (kind == SPECIAL) break;
    if (kind == FLOAT_MARK && !ampersand_seen) *looks_float = true;
    buffer[n++] = c;
    ++pos;
  }
  in.block_pos = pos;
  return n;
}

}  // namespace

void reset_input_context(InputContext& in) {
  in.source = InputSource::LINE;
  in.line.clear();
  in.pos = 0;
  in.putback_count = 0;
  in.block_pos = 0;
  in.block_len = 0;
  in.at_end = false;
}

bool stdin_is_redirected(Console& con) {
  ConsoleHandles& handles = con.handles;
  if (handles.input_redirected) return true;
  bind_console_handles(con);
  handles.input_redirected = !con.port->input_is_console();
  return handles.input_redirected;
}

bool stdin_exhausted(Console& con) {
  InputContext& in = con.input;
  if (in.source != InputSource::STANDARD_DEVICE) return false;
  if (in.putback_count > 0 || in.block_pos < in.block_len) return false;
  return !refill_block(con);
}

bool input_ended(Console& con) { return stdin_is_redirected(con) && stdin_exhausted(con); }

namespace {

void take_items_from_stdin(InputContext& in) {
  in.source = InputSource::STANDARD_DEVICE;
  in.line.clear();
  in.pos = 0;
}

// input_prompt but for its common piped case, kept out of line so that the
// piped road, three times a cycle, needs no stack frame.
[[gnu::noinline]] void start_statement(Console& con, std::string_view prompt, QuestionMark mark, AfterLine after) {
  if (!con.device.set_up) setup_print_device(con);
  InputContext& in = con.input;
  if (stdin_is_redirected(con)) {
    take_items_from_stdin(in);
    return;
  }
  in.line.clear();
  in.source = InputSource::LINE;
  in.pos = 0;
  write_console(con, "", 0, WRITE_FORCE);
  if (!prompt.empty()) print_text(con, 0, prompt, 0);
  if (mark == QuestionMark::ADD) print_text(con, 0, "? ", 0);
  in.line = edit_line(con);
  if (after == AfterLine::NEW_LINE) print_end(con, 0, END_LINE);
  con.last_error = 0;
}

}  // namespace

void input_prompt(Console& con, std::string_view prompt, QuestionMark mark, AfterLine after) {
  if (con.device.set_up && con.handles.input_redirected) {
    take_items_from_stdin(con.input);
  } else {
    start_statement(con, prompt, mark, after);
  }
}

int input_getc(Console& con) {
  InputContext& in = con.input;
  if (in.source == InputSource::LINE) {
    if (static_cast<size_t>(in.pos) < in.line.size()) {
      return static_cast<unsigned char>(in.line[static_cast<size_t>(in.pos++)]);
    }
    return INPUT_END;
  }
  if (in.putback_count > 0) return in.putback[--in.putback_count];
  if (in.block_pos == in.block_len && !refill_block(con)) return INPUT_END;
  return static_cast<unsigned char>(in.block[in.block_pos++]);
}

void input_ungetc(Console& con, int ch) {
  if (ch == INPUT_END) return;
  InputContext& in = con.input;
  if (in.source == InputSource::LINE) {
    if (in.pos > 0) --in.pos;
    return;
  }
  if (in.putback_count < 4) in.putback[in.putback_count++] = ch;
}

Item input_next_item(Console& con, char* buffer, int32_t limit, ItemMode mode) {
  const bool text_mode = mode == ItemMode::TEXT;
  Item item;
  const char* start = nullptr;
  item.length = take_whole_item(con.input, limit, mode, &start, &item.looks_float);
  if (item.length == TAKE_AGAIN) item.length = take_whole_item(con.input, limit, mode, &start, &item.looks_float);
  if (item.length >= 0) {
    std::memcpy(buffer, start, static_cast<size_t>(item.length));
    buffer[item.length] = '\0';
    return item;
  }
  item = Item{};
  bool in_quotes = false;
  bool ampersand_seen = false;
  int32_t n = 0;
  int c = next_byte(con);
  while (is_blank(c)) c = next_byte(con);
  if (c == INPUT_END) {
    buffer[0] = '\0';
    return item;
  }
  for (;;) {
    if (c == '\n') break;
    if (c == '\r') {
      const int next = next_byte(con);
      if (next != '\n') input_ungetc(con, next);
      break;
    }
    if (c == ',' && !in_quotes) break;
    if (c == '"') {
      if (!in_quotes && n == 0) {
        in_quotes = true;
      } else if (!in_quotes) {
        buffer[n++] = '"';
      } else if (text_mode) {
        finish_item(con, next_byte(con));
        break;
      } else {
        in_quotes = false;
      }
    } else if (c == '&') {
      buffer[n++] = '&';
      ampersand_seen = true;
    } else if ((c == 'd' || c == 'D') && !text_mode && !ampersand_seen) {
      buffer[n++] = c == 'd' ? 'e' : 'E';
      item.looks_float = true;
    } else if (c == '.' || c == 'e' || c == 'E') {
      buffer[n++] = static_cast<char>(c);
      if (!ampersand_seen) item.looks_float = true;
    } else if (is_blank(c) && !in_quotes && !text_mode) {
      finish_item(con, c);
      break;
    } else {
      buffer[n++] = static_cast<char>(c);
    }
    n = take_plain_run(con.input, buffer, n, limit, ampersand_seen, &item.looks_float);
    c = next_byte(con);
    if (n >= limit || c == INPUT_END) {
      finish_item(con, c);
      break;
    }
  }
  buffer[n] = '\0';
  item.length = n;
  return item;
}

// Both take a whole plain item straight from the read block when they can
// (the road input_next_item takes first, without the copy).
void input_text(Console& con, TextItem* dest) {
  const char* start = nullptr;
  bool looks_float = false;
  int32_t length = take_whole_item(con.input, INPUT_TEXT_MAX, ItemMode::TEXT, &start, &looks_float);
  if (length == TAKE_AGAIN) length = take_whole_item(con.input, INPUT_TEXT_MAX, ItemMode::TEXT, &start, &looks_float);
  if (length >= 0) {
    std::memcpy(dest->bytes, start, static_cast<size_t>(length));
    dest->length = length;
  } else {
    const Item item = input_next_item(con, dest->bytes, INPUT_TEXT_MAX, ItemMode::TEXT);
    dest->length = static_cast<int32_t>(::strnlen(dest->bytes, static_cast<size_t>(item.length)));
  }
  con.last_error = 0;
}

namespace {

// A decimal item the plain road leaves to the library, from its bytes in
// the block.
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

}  // namespace

void input_double(Console& con, double* dest) {
  // Most piped number items are plain digits with a sign, a point and an
  // exponent, ended by a comma or a line end in the block: converted as
  // they are scanned.
  InputContext& in = con.input;
  if (in.source == InputSource::STANDARD_DEVICE && in.putback_count == 0) {
    const char* const first = in.block + in.block_pos;
    const char* const end = in.block + std::min(in.block_len, in.block_pos + size_t{INPUT_NUMBER_MAX});
    const char* stop = nullptr;
    const PlainNumber plain = plain_number_to_double(first, end, dest, &stop);
    if (plain != PlainNumber::NONE && stop < end) {
      const char* next = stop + 1;
      if (*stop != ',' && *stop != '\n') next = after_item_ends_otherwise(stop, in.block + in.block_len, ItemMode::NUMBER);
      if (next != nullptr) {
        if (plain == PlainNumber::LIBRARY) *dest = library_number(first, stop);
        in.block_pos = static_cast<size_t>(next - in.block);
        con.last_error = 0;
        return;
      }
    }
  }
  char buffer[INPUT_NUMBER_MAX + 1];
  const char* start = nullptr;
  Item item;
  item.length = take_whole_item(con.input, INPUT_NUMBER_MAX, ItemMode::NUMBER, &start, &item.looks_float);
  if (item.length == TAKE_AGAIN) {
    item.length = take_whole_item(con.input, INPUT_NUMBER_MAX, ItemMode::NUMBER, &start, &item.looks_float);
  }
  if (item.length >= 0) {
    // Most items convert where they lie in the block; the others need their
    // zero byte, and a decimal one has had its short road already.
    if (!plain_item_to_double(start, item.length, item.looks_float, dest)) {
      std::memcpy(buffer, start, static_cast<size_t>(item.length));
      buffer[item.length] = '\0';
      *dest = item.looks_float ? text_to_double(buffer) : item_to_double(buffer, item.length, false);
    }
  } else {
    item = input_next_item(con, buffer, INPUT_NUMBER_MAX, ItemMode::NUMBER);
    *dest = item_to_double(buffer, item.length, item.looks_float);
  }
  con.last_error = 0;
}

}  // namespace zw
