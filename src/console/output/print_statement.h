// Print statement: print items on device 0 with end actions and 14-column
// print zones, keeping the device's print column.
#pragma once

#include <cstdint>
#include <optional>
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

// Sets up device 0 on its first use: the screen bound, line width from the
// screen size, print column from the cursor.
void setup_print_device(Console& con);

// One print operation, the door every printed byte passes: the text (none
// when empty), then the text of `number` when one is given (with the
// leading blank), then the end action; each a write of its own to the
// screen writer, which keeps print_column, or, where output goes straight
// into the port's block and ends the line, one line made there in one
// piece. A device other than 0 writes nothing and sets the last-error
// number to 1.
void print_item(Console& con, int device, std::string_view text, std::optional<double> number, int end_mask);

// The print statement's operations, as forms of the door.
inline void print_text(Console& con, int device, std::string_view text, int end_mask) {
  print_item(con, device, text, std::nullopt, end_mask);
}
inline void print_double(Console& con, int device, double value, int end_mask) {
  print_item(con, device, {}, value, end_mask);
}
// A result line: the label, its number, the line end.
inline void print_result_line(Console& con, int device, std::string_view label, double value) {
  print_item(con, device, label, value, END_LINE);
}
// The end action alone; END_ZONE alone is the zone action.
inline void print_end(Console& con, int device, int end_mask) {
  print_item(con, device, {}, std::nullopt, end_mask);
}

// Pure column arithmetic, shared with the tests.
// Column after writing `length` bytes from `column` on a line `width` wide.
int32_t column_after(int32_t column, const char* bytes, int32_t length, int32_t width);
// The zone action from `column`: the number of blanks to write, or 0 when a
// line end is due instead.
int32_t zone_padding(int32_t column, int32_t width);

}  // namespace zw
