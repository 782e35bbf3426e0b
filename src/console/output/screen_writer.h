// Console screen writer: places bytes on the console with the cursor,
// control-byte, wrap and scroll rules; passes them on unchanged when standard
// output is not a console.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/output/screen_view.h"

namespace zw {

struct Console;

constexpr int WRITE_FORCE = 8;
constexpr int WRITE_COLLECT_MAX = 1024;

// Blanks to write padding from, up to 63 at a time.
inline constexpr char BLANKS[] = "                                                               ";
static_assert(sizeof BLANKS == 64);

struct CursorPos {
  int32_t column = 0;  // 1-based, view-relative
  int32_t row = 0;
};

// What set_cursor does with the cursor's visibility.
enum class CursorVisibility : uint8_t { KEEP, HIDE, SHOW };
// set_cursor's result holds the packed position, plus this when the cursor
// was visible before the call.
constexpr int32_t CURSOR_WAS_VISIBLE = 65536;

// `length` bytes at the cursor (none, with WRITE_FORCE, for the cursor
// bookkeeping alone); to a file or a pipe they pass unchanged.
void write_console(Console& con, const char* bytes, int32_t length, int flags);
// 1-based view-relative cursor (the raw position when the view shows no
// console); 0, 0 when the console cannot be queried.
CursorPos get_cursor(Console& con);
// row/column 0 keep the current one; a place outside the print region (of
// the window as it is now) or the width keeps both. Returns the packed position ((row * 256) mod 65536
// with the column's low byte), plus CURSOR_WAS_VISIBLE.
int32_t set_cursor(Console& con, int32_t row, int32_t column, CursorVisibility visibility);
// The cell `delta` cells on from (column, row) in reading order, `width`
// cells to a row (floor division, so moving left from column 1 lands in
// column `width` of the row above).
CursorPos cell_after(int32_t column, int32_t row, int64_t delta, int32_t width);
// Moves (column, row) by `delta` cells in reading order, `width` to a row;
// from the last cell of row `bottom` forward it scrolls by one row.
void move_cursor_by(Console& con, int32_t* column, int32_t* row, int32_t delta,
                    int32_t width, int32_t bottom);
// Blanks the cells from `from` (1-based and view-relative; a place above
// the view counts as its first cell) to the last cell of the print region's
// bottom row, in the current attribute. The cursor does not move.
void clear_to_region_end(Console& con, CursorPos from);
void beep(Console& con);

}  // namespace zw
