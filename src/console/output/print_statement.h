// Print statement: print items on device 0 with end actions and 14-column
// print zones, keeping the device's print column.
#pragma once

#include <cstdint>
#include <string_view>

namespace zw {

struct Console;

// End-action mask bits given with every print item.
enum : int {
  END_LINE = 1,       // write "\r\n"
  END_ZONE = 2,       // move to the next print zone (only without 1 and 4)
  END_LINE_ALT = 4,   // same as END_LINE
};

constexpr int PRINT_ZONE_WIDTH = 14;

// Device 0, the console.
struct PrintDevice {
  bool set_up = false;
  int32_t print_column = 0;  // 0-based, kept below line_width
  int32_t line_width = 0;    // 0 = no limit; fixed at set-up
};

// Sets up device 0 on its first use: line width from the screen size,
// print column from the cursor.
void setup_print_device(Console& con);

// Writes `text` (nothing when empty), then performs the end action.
// A device other than 0 writes nothing and sets the last-error number to 1.
void print_text(Console& con, int device, std::string_view text, int end_mask);
// Writes the number text of `value` (leading blank), then the end action.
void print_double(Console& con, int device, double value, int end_mask);
// print_text of `text` without an end action, then print_double of `value`
// with a line end: a result line.
void print_result_line(Console& con, int device, std::string_view text, double value);
void print_end(Console& con, int device, int end_mask);
void pad_to_zone(Console& con, int device);
// Every printed byte passes here: hands the bytes to the screen writer and
// keeps print_column.
void print_bytes(Console& con, int device, const char* bytes, int32_t length);

// Pure column arithmetic, shared with the tests.
// Column after writing `length` bytes from `column` on a line `width` wide.
int32_t column_after(int32_t column, const char* bytes, int32_t length, int32_t width);
// The zone action from `column`: the number of blanks to write, or 0 when a
// line end is due instead.
int32_t zone_padding(int32_t column, int32_t width);

}  // namespace zw
