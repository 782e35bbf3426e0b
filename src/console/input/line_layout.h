// Where a line being edited stands after the screen changed its width.
//
// The program writes every row of the prompt and the line as a row of its
// own (each row piece starts with a cursor placement, and a redraw erases
// to the end of the screen first), so a terminal that wraps text anew on a
// resize wraps each of those rows on its own. What terminals do with their
// rows differs, and afterwards the program knows only where the cursor is:
//
//   rows above the   the cursor's    stays where   seen in
//   cursor's row     row             it was
//   wrapped          wrapped         cursor's row  tmux, VTE, alacritty,
//                                                  rxvt-unicode with a scrollback
//   wrapped          wrapped         top row       kitty, foot
//   wrapped          cut             top row       konsole, xterm.js
//   cut              cut             both          xterm, st, mlterm, rxvt-unicode
//                                                  with an empty scrollback
//   wrapped          wrapped         cursor's row  GNU screen, which joins the
//                                                  rows it wrapped itself again
//                                                  whatever was written on them
//
// A narrower screen sends the cursor to a column, and for a terminal that
// keeps its top row to a row, that tells these apart; each change that
// does narrows the ways still possible for the terminal, so later changes
// are read by what it showed. Where the cursor cannot tell (a cursor left
// of the new width, on a screen that keeps the cursor's row), what the port
// knows of the terminal decides, and without that the first way in the
// table that fits: most terminals wrap.
#pragma once

#include <cstdint>

#include "console/output/screen_writer.h"
#include "platform/console_port.h"

namespace zw {

// The ways of the table, as bits of a set: bit i is row i.
constexpr uint8_t ALL_RESIZE_HABITS = 0x1F;

// The ways a console may have, from what its port knows of it.
uint8_t resize_habits_for(RowsOnResize rows);

// The prompt and the line as they stood before the change; positions are
// 1-based and relative to the view.
struct LineBefore {
  int32_t width = 80;       // the screen's width they were drawn at
  int32_t height = 25;
  CursorPos cursor;         // the cell of the line's position
  int32_t rows_above = 0;   // rows from the prompt's row down to the cursor's
  // Cells written from the start of the prompt's row: what stood before
  // the prompt, the prompt, the line and the blanks that covered its end.
  int32_t cells = 0;
  int32_t prompt_column = 1;
  // Bit j: the terminal holds row j (the prompt's is 0) as going on into
  // the next, a row it wrapped itself.
  uint32_t continued = 0;
};

struct LineAfter {
  CursorPos prompt;  // where the prompt starts now; its row may lie above the view
  // LineBefore::continued for the rows as they stand now, at the new width.
  uint32_t continued = 0;
};

// Where the prompt and the line stand now, given the screen's new size and
// where the terminal reports the cursor. `habits` holds the ways still
// possible for this terminal and is narrowed by what the cursor shows (left
// as it was when none fits).
LineAfter locate_line(const LineBefore& before, ScreenSize now, CursorPos reported, uint8_t* habits);

}  // namespace zw
