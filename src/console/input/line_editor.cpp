#include "console/input/line_editor.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "console/console.h"
#include "console/input/line_layout.h"

namespace zw {

namespace {

struct EditState {
  std::string_view prompt;  // shown in front of the line, drawn again after a size change
  std::string line;
  int32_t pos = 0;
  int32_t col = 0;
  int32_t row = 0;
  int32_t width = 80;
  int32_t height = 25;
  uint32_t size_changes = 0;  // the screen's size changes taken in
  // The longest the line has stood on the screen since it was last drawn
  // whole: cells up to there hold its bytes or the blanks that covered them.
  int32_t written = 0;
  // The rows (from the prompt's) the terminal holds as going on into the
  // next (LineBefore::continued).
  uint32_t continued = 0;
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
  s.written = std::max(s.written, new_len);
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

// The screen changed size while the line was edited. Where the terminal
// put the rows of the prompt and the line, the cursor it reports tells
// (line_layout.h); from there to the end of the region everything is
// erased, whatever the old layout left, and the prompt and the line are
// drawn again at the new size, the cursor on the byte at pos. A prompt
// whose row went out of sight above the view is drawn again at the view's
// top: everything from there down to the cursor was the old layout.
void redraw_after_size_change(Console& con, EditState& s, ScreenSize size) {
  const CursorPos now = get_cursor(con);
  if (now.row < 1) return;
  const int32_t shown = static_cast<int32_t>(s.prompt.size());
  const int32_t len = static_cast<int32_t>(s.line.size());
  const CursorPos prompt = cell_after(s.col, s.row, -(int64_t{s.pos} + shown), s.width);
  LineBefore before;
  before.width = s.width;
  before.height = s.height;
  before.cursor = CursorPos{s.col, s.row};
  before.rows_above = s.row - prompt.row;
  before.cells = static_cast<int32_t>(std::min<int64_t>(int64_t{prompt.column} - 1 + shown + s.written, INT32_MAX));
  before.prompt_column = prompt.column;
  before.continued = s.continued;
  uint8_t& habits = con.screen.resize_habits;
  if (habits == 0) habits = resize_habits_for(con.port->rows_on_resize());
  const LineAfter after = locate_line(before, size, now, &habits);
  CursorPos start = after.prompt;
  s.continued = after.continued;
  if (start.row < 1) {
    start = CursorPos{1, 1};
    s.continued = 0;
  }

  s.width = size.width;
  s.height = size.height;
  set_cursor(con, start.row, start.column, CursorVisibility::HIDE);
  clear_to_region_end(con, start);
  write_console(con, s.prompt.data(), shown, 0);
  write_console(con, s.line.data(), len, 0);
  s.written = len;
  // Where the drawing ended tells how far it scrolled the view: not at all
  // when it filled the bottom row's last cell (the cursor is parked there).
  const CursorPos end = cell_after(start.column, start.row, int64_t{shown} + len, s.width);
  int32_t scrolled = 0;
  if (end.row > s.height && (end.row > s.height + 1 || end.column > 1)) scrolled = end.row - s.height;
  const CursorPos line_start = cell_after(start.column, start.row - scrolled, shown, s.width);
  s.col = line_start.column;
  s.row = line_start.row;
  set_cursor(con, std::max(s.row, 1), s.col, CursorVisibility::SHOW);
  move_by(con, s, s.pos);
}

// Takes in a size change since the editor last looked: a new width, or a
// new height the port reported (a terminal's: its rows may have moved,
// wrapped or been cut), redraws the line; a console window made taller or
// shorter by hand, which moves no cell of the buffer, only sets the bottom
// row the cursor moves within. A report that leaves the size as it was (a
// resume after Ctrl+Z, resizes that came back to it) changes nothing: the
// line goes on where the cursor is. A screen squeezed too small to be a
// console is not drawn on; the line is drawn again once it is one at
// another size than before, and goes on where the cursor is at the same.
void follow_size_change(Console& con, EditState& s) {
  const uint32_t changes = take_size_change(con);
  follow_window_size(con);
  const bool reported = changes != s.size_changes;
  s.size_changes = changes;
  if (!output_is_console(con)) return;
  const ScreenSize size = get_screen_size(con);
  if (size.width != s.width || (reported && size.height != s.height)) {
    redraw_after_size_change(con, s, size);
  } else {
    s.height = size.height;
  }
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

std::string edit_line(Console& con, std::string_view prompt) {
  EditState s;
  s.prompt = prompt;
  bind_screen(con);
  s.size_changes = take_size_change(con);
  follow_window_size(con);
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
