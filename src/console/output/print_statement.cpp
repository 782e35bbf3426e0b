#include "console/output/print_statement.h"

#include "console/console.h"
#include "console/number/number_text.h"
#include "platform/output_block.h"

namespace zw {

namespace {

static_assert(PRINT_ZONE_WIDTH < sizeof BLANKS);

bool end_line_requested(int end_mask) { return (end_mask & (END_LINE | END_LINE_ALT)) != 0; }

// What the print column has to know about printed bytes: a number text or
// blanks hold no line break, so the column moves by their length; any other
// text is looked through for its last one.
enum class Breaks : uint8_t { NONE, SCAN };

// Device 0 is set up: hands the bytes to the screen writer and keeps the
// print column. A byte the input statement gave back (InputContext::putback)
// is left alone: it is the first byte of the next item, whatever is printed.
void put_bytes(Console& con, const char* bytes, int32_t length, Breaks breaks) {
  write_console(con, bytes, length, 0);
  PrintDevice& dev = con.device;
  if (breaks == Breaks::SCAN) {
    dev.print_column = column_after(dev.print_column, bytes, length, dev.line_width);
  } else {
    int64_t next = int64_t{dev.print_column} + length;
    if (dev.line_width != 0 && (next >= dev.line_width || next < 0)) next %= dev.line_width;
    dev.print_column = static_cast<int32_t>(next);
  }
}

void put_line_end(Console& con) {
  write_console(con, "\r\n", 2, 0);
  con.device.print_column = 0;
}

void put_zone_padding(Console& con) {
  const int32_t blanks = zone_padding(con.device.print_column, con.device.line_width);
  if (blanks == 0) {
    put_line_end(con);
  } else {
    put_bytes(con, BLANKS, blanks, Breaks::NONE);
  }
}

// Output that goes straight into the port's block: a text, a number and the
// line end made there as one line, the number formatted in place; false,
// nothing made, where the block is not the road or lacks the room.
[[gnu::always_inline]] inline bool put_line_in_block(Console& con, std::string_view text,
                                                     const std::optional<double>& number) {
  OutputBlock* block = output_block(con.screen, text.size() + NUMBER_TEXT_ROOM + 2);
  if (block == nullptr) return false;
  char* const line = block->bytes + block->length;
  if (!text.empty()) copy_short(line, text.data(), text.size());
  size_t length = text.size();
  if (number) length += static_cast<size_t>(format_number(*number, LeadingBlank::ADD, line + length));
  line[length] = '\r';
  line[length + 1] = '\n';
  block->length += length + 2;
  con.device.print_column = 0;
  return true;
}

// The item and its end action, each a write of its own.
[[gnu::noinline]] void put_item(Console& con, std::string_view text, const std::optional<double>& number,
                                int end_mask) {
  if (!text.empty()) put_bytes(con, text.data(), static_cast<int32_t>(text.size()), Breaks::SCAN);
  if (number) {
    char digits[NUMBER_TEXT_ROOM];
    const int length = format_number(*number, LeadingBlank::ADD, digits);
    if (length > 0) put_bytes(con, digits, length, Breaks::NONE);
  }
  if (end_line_requested(end_mask)) {
    put_line_end(con);
  } else if (end_mask & END_ZONE) {
    put_zone_padding(con);
  }
}

}  // namespace

int32_t column_after(int32_t column, const char* bytes, int32_t length, int32_t width) {
  int32_t last_break = -1;
  for (int32_t i = length - 1; i >= 0; --i) {
    if (bytes[i] == '\r' || bytes[i] == '\n') {
      last_break = i;
      break;
    }
  }
  int64_t next = last_break < 0 ? int64_t{column} + length : length - last_break - 1;
  // A column already inside the line needs no division.
  if (width != 0 && (next >= width || next < 0)) next %= width;
  return static_cast<int32_t>(next);
}

int32_t zone_padding(int32_t column, int32_t width) {
  const int32_t next_zone = PRINT_ZONE_WIDTH * (column / PRINT_ZONE_WIDTH + 1);
  if (width >= PRINT_ZONE_WIDTH && next_zone >= width - PRINT_ZONE_WIDTH) return 0;
  return next_zone - column;
}

void setup_print_device(Console& con) {
  PrintDevice& dev = con.device;
  if (dev.set_up) return;
  dev.set_up = true;
  bind_screen(con);
  dev.line_width = get_screen_size(con).width;
  dev.print_column = 0;
  if (output_is_console(con)) {
    const CursorPos cursor = get_cursor(con);
    if (cursor.column > 0) dev.print_column = cursor.column - 1;
  }
}

void print_item(Console& con, int device, std::string_view text, std::optional<double> number, int end_mask) {
  if (device != 0) {
    con.last_error = 1;
    return;
  }
  if (!con.device.set_up) setup_print_device(con);
  con.last_error = 0;
  if (end_line_requested(end_mask) && put_line_in_block(con, text, number)) return;
  put_item(con, text, number, end_mask);
}

}  // namespace zw
