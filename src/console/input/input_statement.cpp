#include "console/input/input_statement.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "console/console.h"
#include "console/input/line_editor.h"
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

constexpr std::array<ByteKind, 256> BYTE_KINDS = [] {
  std::array<ByteKind, 256> kinds{};
  kinds.fill(PLAIN);
  for (unsigned char c : std::string_view("\n\r,\" \t&dD")) kinds[c] = SPECIAL;
  for (unsigned char c : std::string_view(".eE")) kinds[c] = FLOAT_MARK;
  return kinds;
}();

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
  bind_console_handles(con);
  return !con.port->input_is_console();
}

bool stdin_exhausted(Console& con) {
  InputContext& in = con.input;
  if (in.source != InputSource::STANDARD_DEVICE) return false;
  if (in.putback_count > 0 || in.block_pos < in.block_len) return false;
  return !refill_block(con);
}

void input_prompt(Console& con, std::string_view prompt, bool question_mark, bool line_end) {
  setup_print_device(con);
  InputContext& in = con.input;
  if (stdin_is_redirected(con)) {
    con.device.has_reader = true;
    in.source = InputSource::STANDARD_DEVICE;
    in.line.clear();
    in.pos = 0;
    return;
  }
  in.line.clear();
  in.source = InputSource::LINE;
  in.pos = 0;
  write_console(con, "", 0, WRITE_FORCE);
  if (!prompt.empty()) print_text(con, 0, prompt, 0);
  if (question_mark) print_text(con, 0, "? ", 0);
  in.line = edit_line(con);
  if (line_end) print_end(con, 0, END_LINE);
  con.last_error = 0;
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

Item input_next_item(Console& con, char* buffer, int32_t limit, bool text_mode) {
  Item item;
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

int input_text(Console& con, std::string* dest) {
  char buffer[INPUT_TEXT_MAX + 1];
  const Item item = input_next_item(con, buffer, INPUT_TEXT_MAX, true);
  dest->assign(buffer, ::strnlen(buffer, static_cast<size_t>(item.length)));
  con.last_error = 0;
  return 0;
}

int input_double(Console& con, double* dest) {
  char buffer[INPUT_NUMBER_MAX + 1];
  const Item item = input_next_item(con, buffer, INPUT_NUMBER_MAX, false);
  *dest = item_to_double(buffer, item.length, item.looks_float);
  con.last_error = 0;
  return 0;
}

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
