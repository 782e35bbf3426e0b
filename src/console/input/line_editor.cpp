#include "console/input/line_editor.h"

#include <algorithm>
#include <cstdint>

#include "console/console.h"

namespace zw {

namespace {


struct EditState {
  std::string line;
  int32_t pos = 0;
  int32_t col = 0;
  int32_t row = 0;
  int32_t width = 80;
  int32_t height = 25;
  uint32_t size_changes = 0;  // the screen's size changes taken in
};

void move_by(Console& con, EditState& s, int32_t delta) {
  move_cursor_by(con, &s.col, &s.row, delta, s.width, s.height);
}

void write_blanks(Console& con, int32_t count) {
  while (count > 0) {
    const int32_t n = count < 63 ? count : 63;
    write_console(con, BLANKS, n, 0);
    count -= n;
  }
}

// Inserts `bytes` at pos, rewrites from there to the end of the line and
// puts the cursor just after the inserted bytes. When the rewrite scrolled
// the view, the place where the insertion started has moved up with it, so
// the cursor is found backwards from where the writing ended.
void insert_bytes(Console& con, EditState& s, std::string_view bytes) {
  const int32_t k = static_cast<int32_t>(bytes.size());
  const int32_t len = static_cast<int32_t>(s.line.size());
  set_cursor(con, 0, 0, CursorVisibility::HIDE);
  const int32_t c0 = s.col;
  const int32_t r0 = s.row;
  s.line.insert(static_cast<size_t>(s.pos), bytes);
  const int32_t new_len = len + k;
  write_console(con, s.line.data() + s.pos, new_len - s.pos, 0);
  const CursorPos after = get_cursor(con);
  s.col = after.column;
  s.row = after.row;
  if (s.pos == len) {
    s.col = c0;
    s.row = r0;
    move_by(con, s, k);
  } else {
    const CursorPos end = cell_after(c0, r0, new_len - s.pos, s.width);
    if (end.row <= s.height || (end.column == 1 && end.row == s.height + 1)) {
      s.col = c0;
      s.row = r0;
      move_by(con, s, k);
    } else {
      move_by(con, s, -(len - s.pos));
    }
  }
  s.pos += k;
}

// Deletes `count` bytes at `at`, where the cursor stands, and blanks the
// cells the shorter line no longer reaches.
void delete_bytes(Console& con, EditState& s, int32_t at, int32_t count) {
  set_cursor(con, 0, 0, CursorVisibility::HIDE);
  s.line.erase(static_cast<size_t>(at), static_cast<size_t>(count));
  const int32_t rest = static_cast<int32_t>(s.line.size()) - at;
  write_console(con, s.line.data() + at, rest, 0);
  write_blanks(con, count);
  set_cursor(con, s.row, s.col, CursorVisibility::KEEP);
  s.pos = at;
}

// The later of two cells in reading order.
CursorPos later_cell(CursorPos a, CursorPos b) {
  return (a.row > b.row || (a.row == b.row && a.column >= b.column)) ? a : b;
}

// The screen got a new width while the line was edited: the line is drawn
// again from its start at the new width, the cells after it to the end of
// the screen blanked (rows the old width used, left behind), and the cursor
// put back at pos.
//
// Where the line starts now depends on the terminal. One that keeps its
// rows as they were (xterm, st) leaves the cursor's column alone, cut to the
// new width, and moves rows only when the height changed too. One that
// re-wraps its lines (tmux, most others) keeps the line's cells in one run
// ending at the cursor, from the column it started in. The cursor tells
// which happened, except where both would leave it in the same place (80 to
// 40 columns, the line at the bottom): then the drawing starts at the later
// of the two starts, which may leave a stale copy of the line's start above
// it but never draws over what was printed before the line. A terminal
// that re-wraps but puts the cursor a column or so off the line's end (kitty
// does, after a prompt's row was rewritten) matches neither: the line then
// starts in the column it started in before, on the row the cursor gives.
void redraw_at_new_width(Console& con, EditState& s, int32_t width, bool height_changed) {
  const CursorPos now = get_cursor(con);
  if (now.row < 1) return;
  const CursorPos old_start = cell_after(s.col, s.row, -int64_t{s.pos}, s.width);
  CursorPos kept = old_start;
  kept.row += now.row - s.row;
  kept.column = std::min(kept.column, width);
  const CursorPos rewrapped = cell_after(now.column, now.row, -int64_t{s.pos}, width);
  const bool could_keep = now.column == std::min(s.col, width);
  const bool could_rewrap = rewrapped.column == old_start.column;
  CursorPos start;
  if (could_keep != could_rewrap) {
    start = could_keep ? kept : rewrapped;
  } else if (!could_keep) {
    start = CursorPos{std::min(old_start.column, width), rewrapped.row};
  } else if (could_rewrap && !height_changed && now.row != s.row) {
    start = rewrapped;  // rows moved though the height did not: re-wrapped
  } else {
    start = later_cell(kept, rewrapped);
  }
  if (start.row < 1) start = CursorPos{1, 1};
  s.width = width;
  const int32_t len = static_cast<int32_t>(s.line.size());
  set_cursor(con, start.row, start.column, CursorVisibility::HIDE);
  write_console(con, s.line.data(), len, 0);
  const CursorPos end = cell_after(start.column, start.row, len, width);
  int32_t scrolled = 0;
  if (end.row <= s.height) {
    write_blanks(con, (s.height - end.row) * width + (width - end.column + 1));
  } else if (end.row > s.height + 1 || end.column > 1) {
    scrolled = end.row - s.height;
  }
  s.col = start.column;
  s.row = start.row - scrolled;
  set_cursor(con, std::max(s.row, 1), s.col, CursorVisibility::SHOW);
  move_by(con, s, s.pos);
}

// Takes in a size change the port reported since the editor last looked.
// A change of height alone moves no cell of the line: the cursor, read
// before each key, is enough. A screen squeezed too small to be a console
// is not drawn on; the line is drawn again once it is one.
void follow_size_change(Console& con, EditState& s) {
  const uint32_t changes = take_size_change(con);
  if (changes == s.size_changes) return;
  s.size_changes = changes;
  if (!output_is_console(con)) return;
  const ScreenSize size = get_screen_size(con);
  const bool height_changed = size.height != s.height;
  s.height = size.height;
  if (size.width != s.width) redraw_at_new_width(con, s, size.width, height_changed);
}

// Waits for the next key, at most KEY_WAIT_MS at a time, and returns its
// code. The cursor place is read once the key is there: a program stopped
// and resumed while waiting (Ctrl+Z, then fg) finds the cursor where the
// shell left it, and the line goes on from there.
KeyCode next_key(Console& con, EditState& s) {
  for (;;) {
    while (!key_waiting(con)) {
      con.port->wait_input(KEY_WAIT_MS);
      follow_size_change(con, s);
    }
    follow_size_change(con, s);
    const CursorPos cursor = get_cursor(con);
    s.col = cursor.column;
    s.row = cursor.row;
    KeyCode code;
    if (take_key(con, &code)) return code;
  }
}

}  // namespace

std::string edit_line(Console& con) {
  EditState s;
  bind_screen(con);
  s.size_changes = take_size_change(con);
  const ScreenSize size = get_screen_size(con);
  s.width = size.width;
  s.height = size.height;
  // Where the line starts, for a size change before the first key.
  const CursorPos start = get_cursor(con);
  s.col = start.column;
  s.row = start.row;
  const bool was_visible = (set_cursor(con, 0, 0, CursorVisibility::SHOW) & CURSOR_WAS_VISIBLE) != 0;

  for (;;) {
    const KeyCode code = next_key(con, s);
    const int32_t len = static_cast<int32_t>(s.line.size());
    switch (code) {
      case KEY_TAB:
        insert_bytes(con, s, std::string_view("        ", static_cast<size_t>(8 - s.pos % 8)));
        break;
      case KEY_BACKSPACE:
        if (s.pos > 0) {
          move_by(con, s, -1);
          delete_bytes(con, s, s.pos - 1, 1);
        }
        break;
      case KEY_DELETE:
        if (s.pos < len) {
          delete_bytes(con, s, s.pos, 1);
        } else {
          beep(con);
        }
        break;
      case KEY_ESCAPE:
        move_by(con, s, -s.pos);
        s.pos = 0;
        if (len > 0) delete_bytes(con, s, 0, len);
        break;
      case KEY_HOME:
        move_by(con, s, -s.pos);
        s.pos = 0;
        break;
      case KEY_END:
        move_by(con, s, len - s.pos);
        s.pos = len;
        break;
      case KEY_LEFT:
        if (s.pos > 0) {
          move_by(con, s, -1);
          --s.pos;
        }
        break;
      case KEY_RIGHT:
        if (s.pos < len) {
          move_by(con, s, 1);
          ++s.pos;
        }
        break;
      case KEY_UP:
        if (s.pos >= s.width) {
          move_by(con, s, -s.width);
          s.pos -= s.width;
        }
        break;
      case KEY_DOWN:
        if (len >= s.pos + s.width) {
          move_by(con, s, s.width);
          s.pos += s.width;
        }
        break;
      default:  // every character from the blank on is typed in; other keys do nothing
        if (code >= 32 && code <= 255) {
          const char byte = static_cast<char>(code);
          insert_bytes(con, s, std::string_view(&byte, 1));
        }
        break;
    }
    set_cursor(con, 0, 0, CursorVisibility::SHOW);
    if (code == KEY_ENTER || code == KEY_CTRL_ENTER) break;
  }

  const CursorPos cursor = get_cursor(con);
  s.col = cursor.column;
  s.row = cursor.row;
  move_by(con, s, static_cast<int32_t>(s.line.size()) - s.pos);
  set_cursor(con, 0, 0, was_visible ? CursorVisibility::SHOW : CursorVisibility::HIDE);
  return s.line;
}

}  // namespace zw
