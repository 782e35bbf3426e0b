// Console screen writer: places bytes on the console with the cursor,
// control-byte, wrap and scroll rules; passes them on unchanged when standard
// output is not a console.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zw {

struct Console;

constexpr int WRITE_FORCE = 8;
constexpr int WRITE_COLLECT_MAX = 1024;

// Blanks to write padding from, up to 63 at a time.
inline constexpr char BLANKS[] = "                                                               ";
static_assert(sizeof BLANKS == 64);

// Window rectangle as last read; left is always 0 and right the buffer's
// last column.
struct ScreenView {
  int16_t left = 0;
  int16_t top = 0;
  int16_t right = 0;
  int16_t bottom = 0;
};

// Rows within which output scrolls, 1-based from the view's top.
struct PrintRegion {
  bool set = false;
  int32_t first = 0;
  int32_t last = 0;
};

struct RedirectedOutput;

struct ScreenState {
  bool view_read = false;
  // The port's block for redirected output, when it keeps one.
  RedirectedOutput* redirected = nullptr;
  ScreenView view;
  PrintRegion region;
  bool pending_wrap = false;
  // Size changes the port reported so far: each one re-based the view.
  uint32_t size_changes = 0;
};

struct ScreenSize {
  int32_t width = 80;
  int32_t height = 25;
};

struct CursorPos {
  int32_t column = 0;  // 1-based, view-relative
  int32_t row = 0;
};

void write_console(Console& con, const char* bytes, int32_t length, int flags);
// The common case of write_console: output that goes straight to a file or
// a pipe, with room in the output block, takes the bytes as they are. False,
// and nothing written, otherwise.
bool write_piped(Console& con, const char* bytes, int32_t length);
// The same road for a writer that makes its bytes in place: where up to
// `room` bytes may be put in the output block, or nullptr when that road is
// closed or the block has less room; then commit_piped takes the `length`
// bytes that were made there.
char* piped_room(Console& con, size_t room);
void commit_piped(Console& con, size_t length);
ScreenSize get_screen_size(Console& con);
// 1-based view-relative cursor; 0, 0 when the console cannot be queried.
CursorPos get_cursor(Console& con);
// row/column 0 keep the current one; visibility -1 keep, 0 hide, else show.
// Returns the packed position, plus 65536 when the cursor was visible.
int32_t set_cursor(Console& con, int32_t row, int32_t column, int visibility);
// The cell `delta` cells on from (column, row) in reading order, `width`
// cells to a row (floor division, so moving left from column 1 lands in
// column `width` of the row above).
CursorPos cell_after(int32_t column, int32_t row, int64_t delta, int32_t width);
// Moves (column, row) by `delta` cells in reading order, `width` to a row;
// from the last cell of row `bottom` forward it scrolls by one row.
void move_cursor_by(Console& con, int32_t* column, int32_t* row, int32_t delta,
                    int32_t width, int32_t bottom);
void beep(Console& con);
// True when standard output is a console by the view test.
bool output_is_console(Console& con);
// Size changes the port reported so far (ScreenState::size_changes), after
// taking any new one.
uint32_t screen_size_changes(Console& con);

}  // namespace zw
