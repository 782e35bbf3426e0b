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
};

// The rows of the table in line_layout.h, in the order they are preferred.
constexpr ResizeHabit RESIZE_HABITS[] = {
    // rows   cursor row  top kept
    {true,  true,  false},
    {true,  true,  true},
    {true,  false, true},
    {false, false, false},
};
constexpr int HABIT_COUNT = static_cast<int>(std::size(RESIZE_HABITS));
static_assert(ALL_RESIZE_HABITS == (1 << HABIT_COUNT) - 1);

// Where a habit puts the cursor: its column, the rows between the prompt's
// row and the cursor's, and how far down the cursor moved on the screen.
struct Placement {
  int32_t column = 0;
  int32_t rows_above = 0;
  int32_t moved = 0;
};

// A cursor just after the cells of its row, where they end at a multiple
// of the new width, is shown at the end of the last piece (tmux) or at the
// start of the row after it: both are placements. Returns their count.
int place_cursor(const ResizeHabit& h, const LineBefore& b, ScreenSize now, Placement out[2]) {
  const int32_t width = std::max(now.width, 1);
  const bool narrower = width < b.width;
  const int32_t c = std::max(b.cursor.column - 1, 0);
  const int32_t pieces = narrower && h.rows_wrap ? (b.width + width - 1) / width : 1;
  const int32_t above = b.rows_above * pieces;
  int n = 1;
  if (narrower && h.cursor_row_wraps) {
    out[0] = Placement{c % width + 1, above + c / width, 0};
    if (c > 0 && c % width == 0 && c >= b.row_cells) {
      out[0] = Placement{width, above + c / width - 1, 0};
      out[1] = Placement{1, above + c / width, 0};
      n = 2;
    }
  } else {
    out[0] = Placement{std::min(c, width - 1) + 1, above, 0};
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
    const bool wraps = RESIZE_HABITS[i].rows_wrap;
    if (rows == RowsOnResize::UNKNOWN || wraps == (rows == RowsOnResize::WRAPPED)) habits |= static_cast<uint8_t>(1u << i);
  }
  return habits;
}

CursorPos locate_prompt(const LineBefore& before, ScreenSize now, CursorPos reported, uint8_t* habits) {
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
  const int32_t width = std::max(now.width, 1);
  const int32_t column = std::max(before.prompt_column - 1, 0);
  if (width < before.width && RESIZE_HABITS[chosen].rows_wrap) {
    return CursorPos{column % width + 1, reported.row - rows + column / width};
  }
  return CursorPos{std::min(column, width - 1) + 1, reported.row - rows};
}

}  // namespace zw
