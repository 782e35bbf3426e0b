#include "console/output/print_statement.h"

#include "console/console.h"
#include "console/number/number_text.h"
#include "platform/output_block.h"

namespace zw {

namespace {

static_assert(PRINT_ZONE_WIDTH < sizeof BLANKS);

bool end_line_requested(int end_mask) { return (end_mask & (END_LINE | END_LINE_ALT)) != 0; }

// Device 0 is the only device; anything else writes nothing. Device 0 is set up on its first use.
bool valid_device(Console& con, int device) {
  if (device == 0) {
    if (!con.device.set_up) setup_print_device(con);
    return true;
  }
  con.last_error = 1;
  return false;
}

// What the print column has to know about printed bytes: a number text or
// blanks hold no line break, so the column moves by their length; any other
// text is looked through for its last one.
enum class Breaks : uint8_t { NONE, SCAN };

// Device 0 is set up: hands the bytes to the screen writer and keeps the
// print column.
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
  con.last_error = 0;
}

void put_line_end(Console& con) {
  write_console(con, "\r\n", 2, 0);
  con.device.print_column = 0;
  con.last_error = 0;
}

void put_zone_padding(Console& con) {
  const int32_t blanks = zone_padding(con.device.print_column, con.device.line_width);
  if (blanks == 0) {
    put_line_end(con);
  } else {
    put_bytes(con, BLANKS, blanks, Breaks::NONE);
  }
}

void perform_end_action(Console& con, int end_mask) {
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
  dev.line_width = get_screen_size(con).width;
  dev.print_column = 0;
  if (output_is_console(con)) {
    const CursorPos cursor = get_cursor(con);
    if (cursor.column > 0) dev.print_column = cursor.column - 1;
  }
}

void print_bytes(Console& con, int device, const char* bytes, int32_t length) {
  if (!valid_device(con, device)) return;
  // A byte the input statement gave back (InputContext::putback) is left
  // alone: it is the first byte of the next item, whatever is printed.
  put_bytes(con, bytes, length, Breaks::SCAN);
}

void print_text(Console& con, int device, std::string_view text, int end_mask) {
  if (!valid_device(con, device)) return;
  if (!text.empty()) put_bytes(con, text.data(), static_cast<int32_t>(text.size()), Breaks::SCAN);
  perform_end_action(con, end_mask);
}

void print_double(Console& con, int device, double value, int end_mask) {
  if (!valid_device(con, device)) return;
  char text[NUMBER_TEXT_ROOM];
  const int length = format_number(value, LeadingBlank::ADD, text);
  // A number that ends its line goes to a file or a pipe in one write with
  // the line end.
  static_assert(NUMBER_TEXT_ROOM >= 23 + 1 + 2);
  if (length > 0 && end_mask == END_LINE) {
    text[length] = '\r';
    text[length + 1] = '\n';
    if (write_piped(con, text, length + 2)) {
      con.device.print_column = 0;
      con.last_error = 0;
      return;
    }
  }
  if (length > 0) put_bytes(con, text, length, Breaks::NONE);
  perform_end_action(con, end_mask);
}

void print_result_line(Console& con, int device, std::string_view text, double value) {
  if (!valid_device(con, device)) return;
  // To a file or a pipe a short text, the number and the line end are made
  // in the output block itself; the column is 0 after them either way.
  constexpr size_t TEXT_MAX = 32;
  if (text.size() <= TEXT_MAX) {
    if (char* line = piped_room(con, TEXT_MAX + NUMBER_TEXT_ROOM + 2)) {
      const int32_t text_length = static_cast<int32_t>(text.size());
      copy_short(line, text.data(), text.size());
      const int length = format_number(value, LeadingBlank::ADD, line + text_length);
      if (length > 0) {
        line[text_length + length] = '\r';
        line[text_length + length + 1] = '\n';
        commit_piped(con, static_cast<size_t>(text_length + length + 2));
        con.device.print_column = 0;
        con.last_error = 0;
        return;
      }
    }
  }
  print_text(con, device, text, 0);
  print_double(con, device, value, END_LINE);
}

void print_end(Console& con, int device, int end_mask) {
  if (!valid_device(con, device)) return;
  perform_end_action(con, end_mask);
}

void pad_to_zone(Console& con, int device) {
  if (!valid_device(con, device)) return;
  put_zone_padding(con);
}

}  // namespace zw
