#include "console/input/line_layout.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace zw {

namespace {

struct ResizeHabit {
  bool rows_wrap;         // rows above the cursor's are wrapped at the new width
  bool cursor_row_wraps;  // so is the cursor's row (else it is cut)
  bool keeps_top;         // the top row stays put (else the cursor's row does)
  bool keeps_marks;       // rows it wrapped itself stay joined, whatever is written on them
};

// The rows of the table in line_layout.h, in the order they are preferred.
constexpr ResizeHabit RESIZE_HABITS[] = {
    // rows   cursor row  top kept  marks kept
    {true,  true,  false, false},
    {true,  true,  true,  false},
    {true,  false, true,  false},
    {false, false, false, false},
    {true,  true,  false, true},
};
constexpr int HABIT_COUNT = static_cast<int>(std::size(RESIZE_HABITS));
static_assert(ALL_RESIZE_HABITS == (1 << HABIT_COUNT) - 1);
constexpr int MARKED_ROWS = 32;  // rows of LineBefore::continued

// Where a habit puts the cursor: its column, the rows between the prompt's
// row and the cursor's, and how far down the cursor moved on the screen.
struct Placement {
  int32_t column = 0;
  int32_t rows_above = 0;
  int32_t moved = 0;
};

// A terminal that wraps its rows anew at `width`: each row written from the
// prompt's on is a line, with the rows it holds as going on from it where
// `marks` says so. Where the cursor goes (a cursor just after the cells of
// its line, where they end at a multiple of the new width, is shown at the
// end of the last piece, as tmux does, or at the start of the row after
// it: both are placements), and which of the new rows go on.
struct Wrapping {
  Placement at[2];
  int count = 1;
  uint32_t continued = 0;
};

Wrapping wrap_rows(const LineBefore& b, int32_t width, bool marks) {
  const int64_t w = std::max(b.width, 1);
  const int64_t k = b.rows_above;
  const int64_t c = std::max(b.cursor.column - 1, 0);
  const int64_t total = std::max<int64_t>(b.cells, k * w + c);
  const int64_t rows = std::max<int64_t>((total + w - 1) / w, k + 1);
  Wrapping out;
  int64_t done = 0;  // rows of the new layout so far
  for (int64_t j = 0; j < rows;) {
    int64_t cells = 0;
    int64_t cursor = -1;  // its offset in this line
    for (;;) {
      if (j == k) cursor = cells + c;
      cells += std::clamp<int64_t>(total - j * w, 0, w);
      const bool goes_on = marks && j < MARKED_ROWS && ((b.continued >> j) & 1u) != 0 && j + 1 < rows;
      ++j;
      if (!goes_on) break;
    }
    const int64_t pieces = std::max<int64_t>((cells + width - 1) / width, 1);
    if (cursor >= 0) {
      out.at[0] = Placement{static_cast<int32_t>(cursor % width + 1), static_cast<int32_t>(done + cursor / width), 0};
      if (cursor == cells && cursor > 0 && cursor % width == 0) {
        out.at[0] = Placement{width, static_cast<int32_t>(done + cursor / width - 1), 0};
        out.at[1] = Placement{1, static_cast<int32_t>(done + cursor / width), 0};
        out.count = 2;
      }
    }
    for (int64_t p = 0; p + 1 < pieces && done + p < MARKED_ROWS; ++p) out.continued |= 1u << (done + p);
    done += pieces;
  }
  return out;
}

// The placements of the cursor under a habit. Returns their count.
int place_cursor(const ResizeHabit& h, const LineBefore& b, ScreenSize now, Placement out[2]) {
  const int32_t width = std::max(now.width, 1);
  int n = 1;
  if (h.cursor_row_wraps) {
    const Wrapping wrapped = wrap_rows(b, width, h.keeps_marks);
    out[0] = wrapped.at[0];
    out[1] = wrapped.at[1];
    n = wrapped.count;
  } else {
    const int32_t c = std::max(b.cursor.column - 1, 0);
    const int32_t pieces = h.rows_wrap ? (b.width + width - 1) / width : 1;
    out[0] = Placement{std::min(c, width - 1) + 1, b.rows_above * pieces, 0};
  }
  for (int i = 0; i < n; ++i) {
    if (h.keeps_top) {
      out[i].moved = std::min(b.cursor.row + out[i].rows_above - b.rows_above, now.height) - b.cursor.row;
    }
  }
  return n;
}

// The rows above the cursor's under each habit of `habits` that explains
// where the cursor is; their bits are returned.
uint8_t fitting_habits(const LineBefore& b, ScreenSize now, CursorPos reported, uint8_t habits,
                       int32_t rows_above[HABIT_COUNT]) {
  uint8_t fit = 0;
  for (int i = 0; i < HABIT_COUNT; ++i) {
    if ((habits & (1u << i)) == 0) continue;
    Placement p[2];
    const int n = place_cursor(RESIZE_HABITS[i], b, now, p);
    for (int k = 0; k < n; ++k) {
      // A change of height moves rows on its own: then only the column
      // speaks.
      const bool row_fits = now.height != b.height || p[k].moved == reported.row - b.cursor.row;
      if (p[k].column == reported.column && row_fits) {
        fit |= static_cast<uint8_t>(1u << i);
        rows_above[i] = p[k].rows_above;
        break;
      }
    }
  }
  return fit;
}

// No habit explains the cursor (a terminal a column or so off): the one of
// `habits` whose column comes nearest.
int nearest_habit(const LineBefore& b, ScreenSize now, CursorPos reported, uint8_t habits, int32_t* rows_above) {
  int best = -1;
  int32_t best_distance = 0;
  for (int i = 0; i < HABIT_COUNT; ++i) {
    if ((habits & (1u << i)) == 0) continue;
    Placement p[2];
    place_cursor(RESIZE_HABITS[i], b, now, p);
    const int32_t distance = std::abs(p[0].column - reported.column);
    if (best < 0 || distance < best_distance) {
      best = i;
      best_distance = distance;
      *rows_above = p[0].rows_above;
    }
  }
  return best;
}

}  // namespace

uint8_t resize_habits_for(RowsOnResize rows) {
  uint8_t habits = 0;
  for (int i = 0; i < HABIT_COUNT; ++i) {
    const ResizeHabit& h = RESIZE_HABITS[i];
    bool fits = true;
    if (rows == RowsOnResize::WRAPPED) fits = h.rows_wrap && !h.keeps_marks;
    if (rows == RowsOnResize::WRAPPED_FOR_GOOD) fits = h.keeps_marks;
    if (rows == RowsOnResize::CUT) fits = !h.rows_wrap;
    if (fits) habits |= static_cast<uint8_t>(1u << i);
  }
  return habits;
}

LineAfter locate_line(const LineBefore& before, ScreenSize now, CursorPos reported, uint8_t* habits) {
  const uint8_t known = (*habits & ALL_RESIZE_HABITS) != 0 ? (*habits & ALL_RESIZE_HABITS) : ALL_RESIZE_HABITS;
  int32_t rows_above[HABIT_COUNT] = {};
  uint8_t fit = fitting_habits(before, now, reported, known, rows_above);
  // What the terminal did fits none of the ways it showed before: it is
  // learned afresh.
  if (fit == 0 && known != ALL_RESIZE_HABITS) fit = fitting_habits(before, now, reported, ALL_RESIZE_HABITS, rows_above);
  int chosen = -1;
  int32_t rows = 0;
  if (fit != 0) {
    *habits = fit;
    for (chosen = 0; (fit & (1u << chosen)) == 0; ++chosen) {
    }
    rows = rows_above[chosen];
  } else {
    chosen = nearest_habit(before, now, reported, known, &rows);
  }
  const ResizeHabit& h = RESIZE_HABITS[chosen];
  const int32_t width = std::max(now.width, 1);
  const int32_t column = std::max(before.prompt_column - 1, 0);
  LineAfter after;
  if (h.rows_wrap && width < before.width) {
    after.prompt = CursorPos{column % width + 1, reported.row - rows + column / width};
  } else {
    after.prompt = CursorPos{std::min(column, width - 1) + 1, reported.row - rows};
  }
  if (h.keeps_marks) after.continued = wrap_rows(before, width, true).continued;
  return after;
}

}  // namespace zw
