// The terminal screen as a console buffer: window and buffer are the
// screen, so there is nothing to move the window through. Console
// operations become escape sequences (terminal_sequences.h) and glyphs
// collected in one update, which the port hands to the terminal in one
// write.
//
// The terminal's own cursor is tracked so that a cursor placement is sent
// only where it is needed; after text reaches the last column (where a
// terminal's cursor waits to wrap) or after a scrolling margin was reset,
// it counts as unknown.
#pragma once

#include <string>

#include "platform/console_port.h"
#include "platform/terminal_text.h"

namespace zw {

struct TerminalScreen {
  TextMode mode = TextMode::UTF8;
  int columns = 80;
  int rows = 24;
  Coord cursor;              // where the program placed the cursor
  bool cursor_visible = true;
  // What the terminal was last told.
  bool at_known = false;
  int at_x = 0;
  int at_y = 0;
  bool shown_visible = true;
  bool margins_used = false;  // a scrolling margin was ever set
  std::string out;            // the update being built
};

// What the terminal does with its rows on a change of width, from the
// environment's TERM, STY and TMUX (nullptr where unset): tmux and GNU
// screen tell their sessions apart by the last two, whatever TERM they
// give. A name many terminals share ("xterm-256color") says nothing.
RowsOnResize rows_on_resize_of(const char* term, const char* sty, const char* tmux);

void reset_terminal_screen(TerminalScreen& s, TextMode mode, int columns, int rows, Coord cursor);
// A new screen size: the cursor is kept inside it, the terminal's cursor
// counts as unknown.
void resize_terminal_screen(TerminalScreen& s, int columns, int rows);

// True when the cell `at` is on the screen.
bool on_screen(const TerminalScreen& s, Coord at);

// The console operations, with their console meanings (see console_port.h).
// A position off the screen fails; a run is cut at the row's end.
bool screen_write_cells(TerminalScreen& s, const CharCell* cells, int count, Coord at);
// Only moves of whole rows upwards exist on a terminal: of the whole screen
// (line feeds at the bottom row, so that the rows scrolled off go to the
// terminal's scrollback) or of a band of rows (inside a scrolling margin).
bool screen_scroll(TerminalScreen& s, SmallRect source, Coord dest, CharCell fill);
// `count` cells from `at` in reading order, to the end of the screen at most.
bool screen_fill(TerminalScreen& s, uint8_t ch, int count, Coord at);
bool screen_set_cursor(TerminalScreen& s, Coord pos);
void screen_set_visible(TerminalScreen& s, bool visible);
void screen_bell(TerminalScreen& s);
// Ends the update: the terminal's cursor goes where the program put it.
void finish_screen_update(TerminalScreen& s);

}  // namespace zw
