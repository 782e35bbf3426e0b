#include "console/output/screen_writer.h"

#include <algorithm>
#include <array>
#include <limits>

#include "console/console_binding.h"
#include "console/console.h"
#include "console/output/print_statement.h"

namespace zw {

namespace {

constexpr int DEFAULT_WIDTH = 80;
constexpr int DEFAULT_HEIGHT = 25;
constexpr uint16_t DEFAULT_ATTRIBUTE = 7;
constexpr int BEEP_HZ = 1000;
constexpr int BEEP_MS = 250;
constexpr int TAB_WIDTH = 8;

// A buffer one column wide or a window one row high is no console either;
// a nonsense report (right left of left) counts the same.
bool shows_console(const ScreenView& v) { return v.right > v.left && v.bottom > v.top; }

Coord coord(int64_t x, int64_t y) { return {static_cast<int16_t>(x), static_cast<int16_t>(y)}; }

// The view is the buffer's full width and the window's rows; all zeros when
// standard output cannot be queried.
void read_view(Console& con) {
  bind_console_handles(con);
  ScreenBufferInfo info;
  ScreenView& v = con.screen.view;
  if (con.port->get_screen_buffer_info(&info)) {
    v.left = 0;
    v.top = info.window.top;
    v.right = static_cast<int16_t>(info.size.x - 1);
    v.bottom = info.window.bottom;
  } else {
    v = ScreenView{};
  }
  con.screen.view_read = true;
}

const ScreenView& view(Console& con) {
  if (!con.screen.view_read) read_view(con);
  return con.screen.view;
}

// Fixed the first time it is needed; later window resizes do not move it.
const PrintRegion& print_region(Console& con) {
  PrintRegion& r = con.screen.region;
  if (!r.set) {
    const ScreenView& v = view(con);
    const int32_t height = v.bottom - v.top + 1;
    r.first = 1;
    r.last = shows_console(v) && height > 0 ? height : DEFAULT_HEIGHT;
    r.set = true;
  }
  return r;
}

// Redirected output: the bytes unchanged; a failing (or stalled) write
// drops the rest.
void write_redirected(Console& con, const char* bytes, int32_t length) {
  size_t done = 0;
  const size_t total = static_cast<size_t>(length);
  while (done < total) {
    size_t written = 0;
    if (!con.port->write_bytes(bytes + done, total - done, &written) || written == 0) return;
    done += std::min(written, total - done);
  }
}

// Everything one console write works with. Positions are buffer
// coordinates, held wide so that a long run of line feeds cannot overflow.
struct WriteContext {
  ConsolePort* port;
  int64_t L, R, T, B;
  int64_t window_top, window_bottom;
  bool partial;
  int64_t size_x, size_y;
  uint16_t attr;
  int64_t X, Y;     // the cursor
  int64_t x;        // column where the next collected character lands
  bool last_move;   // the cursor last changed by BS, LF or CR
  int32_t count;    // collected characters
  std::array<uint8_t, WRITE_COLLECT_MAX> collected;
  std::array<CharCell, WRITE_COLLECT_MAX> cells;
};

// Blanks rows top..bottom, columns L..R, in the current attribute.
void clear_rows(WriteContext& c, int64_t top, int64_t bottom) {
  const int64_t width = c.R - c.L + 1;
  if (top > bottom || width <= 0) return;
  if (c.L == 0 && width == c.size_x) {
    // Full-width rows are contiguous: one call each covers them all.
    const int count = static_cast<int>(std::min<int64_t>((bottom - top + 1) * width, std::numeric_limits<int>::max()));
    c.port->fill_attrs(c.attr, count, coord(c.L, top));
    c.port->fill_chars(' ', count, coord(c.L, top));
    return;
  }
  for (int64_t row = top; row <= bottom; ++row) {
    c.port->fill_attrs(c.attr, static_cast<int>(width), coord(c.L, row));
    c.port->fill_chars(' ', static_cast<int>(width), coord(c.L, row));
  }
}

// Scrolls the region by m rows; the cursor row is B afterwards. With rows
// free below the region the window moves down through the buffer (nothing
// is copied, the window follows at the end of the write); only when the
// buffer runs out are its contents moved up and its top rows lost. A
// region that no longer matches the window scrolls inside itself.
void scroll_by(WriteContext& c, int64_t m) {
  const CharCell blank{' ', c.attr};
  if (!c.partial) {
    if (c.B + 1 < c.size_y) {
      const int64_t k = std::min(m, c.size_y - 1 - c.B);
      c.T += k;
      c.B += k;
      m -= k;
    }
    if (m > 0 && m < c.size_y) {
      c.port->scroll_rect({0, static_cast<int16_t>(m), static_cast<int16_t>(c.size_x - 1),
                           static_cast<int16_t>(c.size_y - 1)},
                          {0, 0}, blank);
      // Rows neither moved nor uncovered keep old text when m > sizeY - m.
      if (m > c.size_y - m) clear_rows(c, c.size_y - m, c.size_y - 1);
    } else if (m > 0) {
      clear_rows(c, c.T, c.B);
    }
  } else {
    const int64_t height = c.B - c.T + 1;
    if (m < height) {
      c.port->scroll_rect({static_cast<int16_t>(c.L), static_cast<int16_t>(c.T + m),
                           static_cast<int16_t>(c.R), static_cast<int16_t>(c.B)},
                          coord(c.L, c.T), blank);
      if (m > height - m) clear_rows(c, c.B - m + 1, c.B);
    } else {
      clear_rows(c, c.T, c.B);
    }
  }
  c.Y = c.B;
}

// Writes the collected characters from the cursor, one platform call per
// row piece. A failing call drops what is left of the run.
void write_out(WriteContext& c) {
  int32_t done = 0;
  while (done < c.count) {
    const int32_t piece = static_cast<int32_t>(std::min<int64_t>(c.count - done, c.R - c.X + 1));
    if (c.Y > c.B) scroll_by(c, c.Y - c.B);
    for (int32_t i = 0; i < piece; ++i) c.cells[i] = CharCell{c.collected[done + i], c.attr};
    if (!c.port->write_cells(c.cells.data(), piece, coord(c.X, c.Y))) break;
    done += piece;
    c.X += piece;
    if (c.X == c.R + 1) {
      c.X = c.L;
      ++c.Y;
    }
  }
  c.count = 0;
  c.x = c.X;
  c.last_move = false;
}

// Makes room for k more characters in the collection.
void make_room(WriteContext& c, int32_t k) {
  if (c.count + k > WRITE_COLLECT_MAX) write_out(c);
}

void collect(WriteContext& c, uint8_t ch) {
  c.collected[c.count++] = ch;
  if (++c.x > c.R) c.x = c.L;
  c.last_move = false;
}

void process_bytes(Console& con, WriteContext& c, const char* bytes, int32_t length) {
  for (int32_t i = 0; i < length; ++i) {
    const uint8_t ch = static_cast<uint8_t>(bytes[i]);
    switch (ch) {
      case 7:  // sounds before the characters collected ahead of it appear
        beep(con);
        break;
      case 8:
        if (c.count > 0) write_out(c);
        if (c.X > c.L) --c.X;
        c.x = c.X;
        c.last_move = true;
        break;
      case 9: {
        const int32_t blanks = TAB_WIDTH - static_cast<int32_t>((c.x - c.L) % TAB_WIDTH);
        make_room(c, blanks);
        for (int32_t b = 0; b < blanks; ++b) collect(c, ' ');
        break;
      }
      case 10:
      case 13:
        if (c.count > 0) write_out(c);
        c.X = c.L;
        if (ch == 10) ++c.Y;  // a line feed always includes the return
        c.x = c.X;
        c.last_move = true;
        break;
      default:
        make_room(c, 1);
        collect(c, ch);
        break;
    }
  }
  if (c.count > 0) {
    write_out(c);
  } else if (c.last_move && c.Y > c.B) {
    scroll_by(c, c.Y - c.B);
  }
}

void write_to_console(Console& con, const char* bytes, int32_t length) {
  const ScreenView v = view(con);
  const PrintRegion& r = print_region(con);
  WriteContext c{};
  c.port = con.port;
  c.L = v.left;
  c.R = v.right;
  c.T = v.top + r.first - 1;
  c.B = v.top + r.last - 1;
  c.window_top = v.top;
  c.window_bottom = v.bottom;
  c.partial = c.T != c.window_top || c.B != c.window_bottom;
  ScreenBufferInfo info;
  if (con.port->get_screen_buffer_info(&info)) {
    c.size_x = info.size.x;
    c.size_y = info.size.y;
    c.attr = info.attributes;
    // A buffer narrowed since the view was read could leave the cursor
    // right of R, where no row piece would fit.
    c.X = std::clamp<int64_t>(info.cursor.x, c.L, c.R);
    c.Y = info.cursor.y;
  } else {
    c.size_x = DEFAULT_WIDTH;
    c.size_y = DEFAULT_HEIGHT;
    c.attr = DEFAULT_ATTRIBUTE;
    c.X = c.L;
    c.Y = c.T;
  }
  // A screen that lost rows after the region was fixed (a terminal made
  // shorter) has no rows below its last one: the region ends there, or
  // output would go to rows that do not exist.
  if (c.B > c.size_y - 1 && c.size_y - 1 > c.T) {
    c.B = c.size_y - 1;
    c.partial = c.T != c.window_top || c.B != c.window_bottom;
  }
  c.x = c.X;
  c.last_move = false;
  c.count = 0;
  const int64_t first_top = c.T;

  if (con.screen.pending_wrap) {
    con.screen.pending_wrap = false;
    c.X = c.L;
    ++c.Y;
    c.x = c.X;
    if (c.Y > c.B) scroll_by(c, c.Y - c.B);
  }

  process_bytes(con, c, bytes, length);

  // A run that filled the bottom row's last cell parks the cursor there
  // instead of scrolling; the next write moves it on.
  if (c.X == c.L && c.Y == c.B + 1) {
    c.X = c.R;
    c.Y = c.B;
    con.screen.pending_wrap = true;
  } else if (c.Y > c.B) {
    scroll_by(c, c.Y - c.B);
  }
  con.port->set_cursor_position(coord(c.X, c.Y));
  if (c.T != first_top && !c.partial) {
    con.port->set_window({static_cast<int16_t>(c.L), static_cast<int16_t>(c.T),
                          static_cast<int16_t>(c.R), static_cast<int16_t>(c.B)});
  }
  read_view(con);
  con.port->end_update();
}

}  // namespace

void write_console(Console& con, const char* bytes, int32_t length, int flags) {
  if (bytes == nullptr || length < 0) length = 0;
  if (length == 0 && (flags & WRITE_FORCE) == 0) return;
  if (!output_is_console(con)) {
    write_redirected(con, bytes, length);
    return;
  }
  write_to_console(con, bytes, length);
}

bool output_is_console(Console& con) { return shows_console(view(con)); }

ScreenSize get_screen_size(Console& con) {
  const ScreenView& v = view(con);
  if (!shows_console(v)) return ScreenSize{DEFAULT_WIDTH, DEFAULT_HEIGHT};
  return ScreenSize{v.right - v.left + 1, v.bottom - v.top + 1};
}

CursorPos get_cursor(Console& con) {
  const ScreenView& v = view(con);
  ScreenBufferInfo info;
  if (!con.port->get_screen_buffer_info(&info)) return CursorPos{0, 0};
  if (!shows_console(v)) return CursorPos{info.cursor.x, info.cursor.y};
  return CursorPos{info.cursor.x - v.left + 1, info.cursor.y - v.top + 1};
}

int32_t set_cursor(Console& con, int32_t row, int32_t column, int visibility) {
  if (!con.device.set_up) setup_print_device(con);
  const PrintRegion& r = print_region(con);
  const bool row_bad = row != 0 && (row < r.first || row > r.last);
  const bool column_bad = column != 0 && (column < 1 || column > get_screen_size(con).width);
  if (row_bad || column_bad) {
    row = 0;
    column = 0;
  }
  const int32_t given_column = column;
  if (row == 0 || column == 0) {
    const CursorPos cur = get_cursor(con);
    if (row == 0) row = cur.row;
    if (column == 0) column = cur.column;
  }
  CursorInfo cursor_info;
  const bool have_info = con.port->get_cursor_info(&cursor_info);
  const bool was_visible = have_info && cursor_info.visible;
  int32_t packed = static_cast<int32_t>(((static_cast<uint32_t>(row) & 0xFF) << 8) |
                                        (static_cast<uint32_t>(column) & 0xFF));
  if (was_visible) packed += 65536;

  const ScreenView& v = view(con);
  const Coord pos = coord(int64_t{column} - 1 + v.left, int64_t{row} - 1 + v.top);
  if (visibility != -1 && have_info) {
    cursor_info.visible = visibility != 0;
    con.port->set_cursor_info(cursor_info);
  }
  con.screen.pending_wrap = false;
  con.port->set_cursor_position(pos);
  if (given_column != 0) con.device.print_column = given_column - 1;
  con.port->end_update();
  return packed;
}

CursorPos cell_after(int32_t column, int32_t row, int64_t delta, int32_t width) {
  const int64_t w = std::max(width, 1);
  const int64_t i = (int64_t{row} - 1) * w + (int64_t{column} - 1) + delta;
  int64_t q = i / w;
  if (i % w != 0 && i < 0) --q;  // floor, also for negative i
  return CursorPos{static_cast<int32_t>(i - w * q + 1), static_cast<int32_t>(q + 1)};
}

void move_cursor_by(Console& con, int32_t* column, int32_t* row, int32_t delta, int32_t width,
                    int32_t bottom) {
  const CursorPos next = cell_after(*column, *row, delta, width);
  if (next.row == int64_t{bottom} + 1 && next.column == 1) {
    set_cursor(con, bottom, std::max(width, 1), -1);
    write_console(con, "\r\n", 2, 0);
  } else if (next.row < 1) {
    // Above the region: row 0 would read as "keep the row" and move the
    // cursor along the current row; a place outside the region keeps it.
    set_cursor(con, 0, 0, -1);
  } else {
    set_cursor(con, next.row, next.column, -1);
  }
  *column = next.column;
  *row = next.row;
}

void beep(Console& con) { con.port->beep(BEEP_HZ, BEEP_MS); }

}  // namespace zw
