#include "console/output/screen_writer.h"

#include <algorithm>
#include <array>
#include <limits>

#include "console/console.h"
#include "console/output/print_statement.h"
#include "platform/output_block.h"

namespace zw {

namespace {

constexpr int DEFAULT_WIDTH = 80;
constexpr int DEFAULT_HEIGHT = 25;
constexpr int BEEP_HZ = 1000;
constexpr int BEEP_MS = 250;
constexpr int TAB_WIDTH = 8;

Coord coord(int64_t x, int64_t y) { return {static_cast<int16_t>(x), static_cast<int16_t>(y)}; }

// Redirected output through the port: the bytes unchanged; a failing (or
// stalled) write drops the rest. (Bytes that fit the port's block go there
// directly, in write_console.)
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
  // The print region: columns left..right, rows top..bottom.
  int64_t left, right, top, bottom;
  int64_t window_top, window_bottom;
  bool partial;  // the region is not the whole window
  int64_t buffer_width, buffer_height;
  uint16_t attr;
  int64_t cursor_x, cursor_y;
  int64_t collect_x;  // column where the next collected character lands
  bool last_move;     // the cursor last changed by BS, LF or CR
  int32_t count;      // collected characters
  std::array<uint8_t, WRITE_COLLECT_MAX> collected;
  std::array<CharCell, WRITE_COLLECT_MAX> cells;
};

// Blanks rows top..bottom of the region's columns in the current attribute.
void clear_rows(WriteContext& c, int64_t top, int64_t bottom) {
  const int64_t width = c.right - c.left + 1;
  if (top > bottom || width <= 0) return;
  if (c.left == 0 && width == c.buffer_width) {
    // Full-width rows are contiguous: one call each covers them all.
    const int count = static_cast<int>(std::min<int64_t>((bottom - top + 1) * width, std::numeric_limits<int>::max()));
    c.port->fill_attrs(c.attr, count, coord(c.left, top));
    c.port->fill_chars(' ', count, coord(c.left, top));
    return;
  }
  for (int64_t row = top; row <= bottom; ++row) {
    c.port->fill_attrs(c.attr, static_cast<int>(width), coord(c.left, row));
    c.port->fill_chars(' ', static_cast<int>(width), coord(c.left, row));
  }
}

// Scrolls the region by m rows; the cursor row is the region's bottom
// afterwards. With rows free below the region the window moves down through
// the buffer (nothing is copied, the window follows at the end of the
// write); only when the buffer runs out are its contents moved up and its
// top rows lost. A region that no longer matches the window scrolls inside
// itself.
void scroll_by(WriteContext& c, int64_t m) {
  const CharCell blank{' ', c.attr};
  if (!c.partial) {
    if (c.bottom + 1 < c.buffer_height) {
      const int64_t k = std::min(m, c.buffer_height - 1 - c.bottom);
      c.top += k;
      c.bottom += k;
      m -= k;
    }
    if (m > 0 && m < c.buffer_height) {
      c.port->scroll_rect({0, static_cast<int16_t>(m), static_cast<int16_t>(c.buffer_width - 1),
                           static_cast<int16_t>(c.buffer_height - 1)},
                          {0, 0}, blank);
      // Rows neither moved nor uncovered keep old text when more than half
      // the buffer scrolls away.
      if (m > c.buffer_height - m) clear_rows(c, c.buffer_height - m, c.buffer_height - 1);
    } else if (m > 0) {
      clear_rows(c, c.top, c.bottom);
    }
  } else {
    const int64_t height = c.bottom - c.top + 1;
    if (m < height) {
      c.port->scroll_rect({static_cast<int16_t>(c.left), static_cast<int16_t>(c.top + m),
                           static_cast<int16_t>(c.right), static_cast<int16_t>(c.bottom)},
                          coord(c.left, c.top), blank);
      if (m > height - m) clear_rows(c, c.bottom - m + 1, c.bottom);
    } else {
      clear_rows(c, c.top, c.bottom);
    }
  }
  c.cursor_y = c.bottom;
}

// Writes the collected characters from the cursor, one platform call per
// row piece. A failing call drops what is left of the run.
void write_out(WriteContext& c) {
  int32_t done = 0;
  while (done < c.count) {
    const int32_t piece = static_cast<int32_t>(std::min<int64_t>(c.count - done, c.right - c.cursor_x + 1));
    if (c.cursor_y > c.bottom) scroll_by(c, c.cursor_y - c.bottom);
    for (int32_t i = 0; i < piece; ++i) c.cells[i] = CharCell{c.collected[done + i], c.attr};
    if (!c.port->write_cells(c.cells.data(), piece, coord(c.cursor_x, c.cursor_y))) break;
    done += piece;
    c.cursor_x += piece;
    if (c.cursor_x == c.right + 1) {
      c.cursor_x = c.left;
      ++c.cursor_y;
    }
  }
  c.count = 0;
  c.collect_x = c.cursor_x;
  c.last_move = false;
}

// Makes room for k more characters in the collection.
void make_room(WriteContext& c, int32_t k) {
  if (c.count + k > WRITE_COLLECT_MAX) write_out(c);
}

void collect(WriteContext& c, uint8_t ch) {
  c.collected[c.count++] = ch;
  if (++c.collect_x > c.right) c.collect_x = c.left;
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
        if (c.cursor_x > c.left) --c.cursor_x;
        c.collect_x = c.cursor_x;
        c.last_move = true;
        break;
      case 9: {
        const int32_t blanks = TAB_WIDTH - static_cast<int32_t>((c.collect_x - c.left) % TAB_WIDTH);
        make_room(c, blanks);
        for (int32_t b = 0; b < blanks; ++b) collect(c, ' ');
        break;
      }
      case 10:
      case 13:
        if (c.count > 0) write_out(c);
        c.cursor_x = c.left;
        if (ch == 10) ++c.cursor_y;  // a line feed always includes the return
        c.collect_x = c.cursor_x;
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
  } else if (c.last_move && c.cursor_y > c.bottom) {
    scroll_by(c, c.cursor_y - c.bottom);
  }
}

void write_to_console(Console& con, const char* bytes, int32_t length) {
  ScreenBufferInfo info;
  const bool have_info = con.port->get_screen_buffer_info(&info);
  if (have_info) follow_window_size(con, info);
  const ScreenView v = con.screen.view;
  const PrintRegion& r = print_region(con);
  WriteContext c{};
  c.port = con.port;
  c.left = v.left;
  c.right = v.right;
  c.top = v.top + r.first - 1;
  c.bottom = v.top + r.last - 1;
  c.window_top = v.top;
  c.window_bottom = v.bottom;
  c.partial = c.top != c.window_top || c.bottom != c.window_bottom;
  if (have_info) {
    c.buffer_width = info.size.x;
    c.buffer_height = info.size.y;
    c.attr = info.attributes;
    // A buffer narrowed since the view was read could leave the cursor
    // right of the region, where no row piece would fit.
    c.cursor_x = std::clamp<int64_t>(info.cursor.x, c.left, c.right);
    c.cursor_y = info.cursor.y;
  } else {
    c.buffer_width = DEFAULT_WIDTH;
    c.buffer_height = DEFAULT_HEIGHT;
    c.attr = PLAIN_ATTRIBUTE;
    c.cursor_x = c.left;
    c.cursor_y = c.top;
  }
  // A screen that lost rows after the region was fixed (a terminal made
  // shorter) has no rows below its last one: the region ends there, or
  // output would go to rows that do not exist.
  if (c.bottom > c.buffer_height - 1 && c.buffer_height - 1 > c.top) {
    c.bottom = c.buffer_height - 1;
    c.partial = c.top != c.window_top || c.bottom != c.window_bottom;
  }
  c.collect_x = c.cursor_x;
  c.last_move = false;
  c.count = 0;
  const int64_t first_top = c.top;

  if (con.screen.pending_wrap) {
    con.screen.pending_wrap = false;
    c.cursor_x = c.left;
    ++c.cursor_y;
    c.collect_x = c.cursor_x;
    if (c.cursor_y > c.bottom) scroll_by(c, c.cursor_y - c.bottom);
  }

  process_bytes(con, c, bytes, length);

  // A run that filled the bottom row's last cell parks the cursor there
  // instead of scrolling; the next write moves it on.
  if (c.cursor_x == c.left && c.cursor_y == c.bottom + 1) {
    c.cursor_x = c.right;
    c.cursor_y = c.bottom;
    con.screen.pending_wrap = true;
  } else if (c.cursor_y > c.bottom) {
    scroll_by(c, c.cursor_y - c.bottom);
  }
  con.port->set_cursor_position(coord(c.cursor_x, c.cursor_y));
  if (c.top != first_top && !c.partial) {
    con.port->set_window({static_cast<int16_t>(c.left), static_cast<int16_t>(c.top),
                          static_cast<int16_t>(c.right), static_cast<int16_t>(c.bottom)});
  }
  read_view(con);
  con.port->end_update();
}

}  // namespace

void write_console(Console& con, const char* bytes, int32_t length, int flags) {
  if (bytes == nullptr || length < 0) length = 0;
  if (OutputBlock* block = output_block(con.screen, static_cast<size_t>(length))) {
    if (length > 0) copy_short(block->bytes + block->length, bytes, static_cast<size_t>(length));
    block->length += static_cast<size_t>(length);
    return;
  }
  if (length == 0 && (flags & WRITE_FORCE) == 0) return;
  const ScreenView& v = current_view(con);
  if (!shows_console(v)) {
    write_redirected(con, bytes, length);
    return;
  }
  write_to_console(con, bytes, length);
}

CursorPos get_cursor(Console& con) {
  const ScreenView& v = con.screen.view;
  ScreenBufferInfo info;
  if (!con.port->get_screen_buffer_info(&info)) return CursorPos{0, 0};
  if (!shows_console(v)) return CursorPos{info.cursor.x, info.cursor.y};
  return CursorPos{info.cursor.x - v.left + 1, info.cursor.y - v.top + 1};
}

int32_t set_cursor(Console& con, int32_t row, int32_t column, CursorVisibility visibility) {
  if (!con.device.set_up) setup_print_device(con);
  // A place in the region of a window resized since would be taken from
  // rows the window no longer has.
  follow_window_size(con);
  const ScreenView& v = current_view(con);
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
  if (was_visible) packed += CURSOR_WAS_VISIBLE;

  const Coord pos = coord(int64_t{column} - 1 + v.left, int64_t{row} - 1 + v.top);
  if (visibility != CursorVisibility::KEEP && have_info) {
    cursor_info.visible = visibility == CursorVisibility::SHOW;
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
    set_cursor(con, bottom, std::max(width, 1), CursorVisibility::KEEP);
    write_console(con, "\r\n", 2, 0);
  } else if (next.row < 1) {
    // Above the region: row 0 would read as "keep the row" and move the
    // cursor along the current row; a place outside the region keeps it.
    set_cursor(con, 0, 0, CursorVisibility::KEEP);
  } else {
    set_cursor(con, next.row, next.column, CursorVisibility::KEEP);
  }
  *column = next.column;
  *row = next.row;
}

void clear_to_region_end(Console& con, CursorPos from) {
  const ScreenView& v = current_view(con);
  ScreenBufferInfo info;
  if (!shows_console(v) || !con.port->get_screen_buffer_info(&info)) return;
  const PrintRegion& r = print_region(con);
  const int64_t width = v.right - v.left + 1;
  const int64_t bottom = std::min<int64_t>(int64_t{v.top} + r.last - 1, info.size.y - 1);
  int64_t x = std::clamp<int64_t>(int64_t{from.column} - 1, 0, width - 1) + v.left;
  int64_t y = int64_t{from.row} - 1 + v.top;
  if (y < v.top) {
    x = v.left;
    y = v.top;
  }
  if (y > bottom) return;
  const int count = static_cast<int>(std::min<int64_t>((bottom - y) * width + (v.right - x + 1),
                                                       std::numeric_limits<int>::max()));
  con.port->fill_attrs(info.attributes, count, coord(x, y));
  con.port->fill_chars(' ', count, coord(x, y));
  con.port->end_update();
}

void beep(Console& con) { con.port->beep(BEEP_HZ, BEEP_MS); }

}  // namespace zw
