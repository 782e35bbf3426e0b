#include "platform/posix/terminal_screen.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "platform/posix/terminal_sequences.h"

namespace zw {

namespace {

// `format` with two numbers at most.
void append_numbers(TerminalScreen& s, const char* format, int a, int b = 0) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, format, a, b);
  s.out.append(buf, static_cast<size_t>(n));
}

void move_to(TerminalScreen& s, int x, int y) {
  if (s.at_known && s.at_x == x && s.at_y == y) return;
  append_numbers(s, CURSOR_TO_FORMAT, y + 1, x + 1);
  s.at_known = true;
  s.at_x = x;
  s.at_y = y;
}

// Text written from the terminal's cursor: it advances, and at the last
// column it waits to wrap, which each terminal resolves its own way.
void advance(TerminalScreen& s, int count) {
  s.at_x += count;
  if (s.at_x >= s.columns) s.at_known = false;
}

void put_glyph(TerminalScreen& s, uint8_t byte) {
  char glyph[4];
  s.out.append(glyph, cell_glyph(byte, s.mode, glyph));
}

// `count` cells from (x, y) on one row.
void fill_row(TerminalScreen& s, uint8_t ch, int count, int x, int y) {
  move_to(s, x, y);
  if (ch == ' ') {
    append_numbers(s, ERASE_CELLS_FORMAT, count);  // the cursor stays
    return;
  }
  for (int i = 0; i < count; ++i) put_glyph(s, ch);
  advance(s, count);
}

// Terminals by the name TERM gives them, as each was seen to handle rows
// it was drawn on a row at a time when its window got narrower: the name
// alone, or followed by "-" or "." and a variant where `variants` says so.
// rxvt-unicode is not among them: it cuts its rows, or wraps them once
// rows have gone into its scrollback.
struct RowsOnResizeName {
  const char* name;
  bool variants;
  RowsOnResize rows;
};
constexpr RowsOnResizeName ROWS_ON_RESIZE_NAMES[] = {
    // name         variants rows
    {"screen",      true,  RowsOnResize::WRAPPED},  // GNU screen, tmux by default
    {"tmux",        true,  RowsOnResize::WRAPPED},
    {"xterm-kitty", false, RowsOnResize::WRAPPED},
    {"foot",        true,  RowsOnResize::WRAPPED},
    {"alacritty",   true,  RowsOnResize::WRAPPED},
    {"xterm",       false, RowsOnResize::CUT},      // the name xterm itself gives
    {"st",          true,  RowsOnResize::CUT},
    {"stterm",      true,  RowsOnResize::CUT},
    {"mlterm",      true,  RowsOnResize::CUT},
};
static_assert(std::size(ROWS_ON_RESIZE_NAMES) == 9);

}  // namespace

RowsOnResize rows_on_resize_of(const char* term, const char* sty, const char* tmux) {
  if (tmux != nullptr) return RowsOnResize::WRAPPED;
  if (term == nullptr) return RowsOnResize::UNKNOWN;
  if (sty != nullptr && std::strncmp(term, "screen", 6) == 0) return RowsOnResize::WRAPPED_FOR_GOOD;
  for (const RowsOnResizeName& r : ROWS_ON_RESIZE_NAMES) {
    const size_t n = std::strlen(r.name);
    if (std::strncmp(term, r.name, n) != 0) continue;
    const char after = term[n];  // the name matched: the text is that long
    if (after == 0 || (r.variants && (after == '-' || after == '.'))) return r.rows;
  }
  return RowsOnResize::UNKNOWN;
}

bool on_screen(const TerminalScreen& s, Coord at) {
  return at.x >= 0 && at.y >= 0 && at.x < s.columns && at.y < s.rows;
}

void reset_terminal_screen(TerminalScreen& s, TextMode mode, int columns, int rows, Coord cursor) {
  s = TerminalScreen{};
  s.mode = mode;
  s.columns = columns;
  s.rows = rows;
  s.cursor = cursor;
  resize_terminal_screen(s, columns, rows);
}

void resize_terminal_screen(TerminalScreen& s, int columns, int rows) {
  s.columns = std::max(columns, 1);
  s.rows = std::max(rows, 1);
  s.cursor.x = static_cast<int16_t>(std::clamp<int>(s.cursor.x, 0, s.columns - 1));
  s.cursor.y = static_cast<int16_t>(std::clamp<int>(s.cursor.y, 0, s.rows - 1));
  s.at_known = false;
}

bool screen_write_cells(TerminalScreen& s, const CharCell* cells, int count, Coord at) {
  if (!on_screen(s, at) || count < 0) return false;
  count = std::min(count, s.columns - at.x);
  if (count == 0) return true;
  move_to(s, at.x, at.y);
  for (int i = 0; i < count; ++i) put_glyph(s, cells[i].ch);
  advance(s, count);
  return true;
}

bool screen_scroll(TerminalScreen& s, SmallRect source, Coord dest, CharCell fill) {
  const int left = std::max<int>(source.left, 0);
  const int right = std::min<int>(source.right, s.columns - 1);
  const int top = std::max<int>(source.top, 0);
  const int bottom = std::min<int>(source.bottom, s.rows - 1);
  if (left > right || top > bottom) return true;  // nothing on the screen to move
  if (left != 0 || right != s.columns - 1 || dest.x != source.left || dest.y < 0 || dest.y > top) return false;
  const int m = top - dest.y;
  if (m == 0) return true;
  const int first = dest.y;  // the band of rows that moves: first..bottom
  if (first == 0 && bottom == s.rows - 1) {
    move_to(s, 0, s.rows - 1);
    s.out.append(static_cast<size_t>(m), '\n');
  } else {
    append_numbers(s, MARGINS_FORMAT, first + 1, bottom + 1);
    append_numbers(s, CURSOR_TO_FORMAT, bottom + 1, 1);
    s.out.append(static_cast<size_t>(m), '\n');
    s.out.append(MARGINS_OFF);  // this homes the cursor
    s.margins_used = true;
    s.at_known = false;
  }
  if (fill.ch != ' ') {
    for (int y = bottom - m + 1; y <= bottom; ++y) fill_row(s, fill.ch, s.columns, 0, y);
  }
  return true;
}

// Blanks that reach the end of the screen are erased in one sequence, which
// also leaves no row marked as continued from the one above: a terminal
// that re-wraps on a resize would otherwise join the rows drawn there.
bool screen_fill(TerminalScreen& s, uint8_t ch, int count, Coord at) {
  if (!on_screen(s, at) || count < 0) return false;
  const int64_t to_end = int64_t{s.rows - at.y} * s.columns - at.x;
  if (ch == ' ' && count > 0 && count >= to_end) {
    move_to(s, at.x, at.y);
    s.out.append(ERASE_BELOW);
    return true;
  }
  int x = at.x;
  for (int y = at.y; y < s.rows && count > 0; ++y) {
    const int piece = std::min(count, s.columns - x);
    fill_row(s, ch, piece, x, y);
    count -= piece;
    x = 0;
  }
  return true;
}

bool screen_set_cursor(TerminalScreen& s, Coord pos) {
  if (!on_screen(s, pos)) return false;
  s.cursor = pos;
  return true;
}

void screen_set_visible(TerminalScreen& s, bool visible) {
  s.cursor_visible = visible;
  if (visible == s.shown_visible) return;
  s.out.append(visible ? CURSOR_SHOW : CURSOR_HIDE);
  s.shown_visible = visible;
}

void screen_bell(TerminalScreen& s) { s.out.push_back('\a'); }

void finish_screen_update(TerminalScreen& s) { move_to(s, s.cursor.x, s.cursor.y); }

}  // namespace zw
