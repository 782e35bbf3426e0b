// A console screen held in memory: a buffer of cells that can be taller than
// its window, the window onto it, the cursor with its size and visibility,
// and the buffer's current attribute. Each operation acts as the console
// port's operation of the same name does on the native console: cells
// outside the buffer are left alone, a cursor or window outside it is
// refused. A port that draws its own screen (the browser's) keeps it here,
// and records which rows changed since it last drew them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/console_port.h"

namespace zw {

class CellConsole {
 public:
  // `width` columns, a window of `window_rows` rows at the top of a buffer
  // of `buffer_rows` rows (at least the window's).
  CellConsole(int width, int window_rows, int buffer_rows);

  void get_screen_buffer_info(ScreenBufferInfo* info) const;
  bool write_cells(const CharCell* cells, int count, Coord at);
  // Cells of `source` (clipped to the buffer) that nothing lands on get
  // `fill`; the moved cells land from `dest` on, as far as the buffer goes.
  bool scroll_rect(SmallRect source, Coord dest, CharCell fill);
  // From `at` on in reading order, up to the buffer's end.
  bool fill_chars(uint8_t ch, int count, Coord at);
  bool fill_attrs(uint16_t attr, int count, Coord at);
  bool set_cursor_position(Coord pos);
  CursorInfo cursor_info() const { return cursor_info_; }
  void set_cursor_info(const CursorInfo& info);
  // A window that does not lie within the buffer is refused.
  bool set_window(SmallRect window);

  // What the user (or the page around the console) does, unchecked: the
  // window moved or resized by hand, the cursor put anywhere.
  void place_window(SmallRect window) { window_ = window; }
  void place_cursor(Coord pos) { cursor_ = pos; }
  // The buffer made `width` x `rows`, as a terminal that keeps its rows
  // does when resized: each row cut or padded at its end, rows cut or added
  // at the bottom, the window the whole buffer, the cursor kept on it.
  void resize(int width, int rows);

  int width() const { return width_; }
  int buffer_rows() const { return rows_; }
  SmallRect window() const { return window_; }
  Coord cursor() const { return cursor_; }
  uint16_t attribute() const { return attr_; }
  void set_attribute(uint16_t attr) { attr_ = attr; }
  CharCell cell(int x, int y) const { return cells_[index(x, y)]; }
  // Row `y` of the buffer, every cell's character.
  std::string buffer_row(int y) const;
  const CharCell* cells() const { return cells_.data(); }

  // One flag per buffer row, set when a cell of it changed; cleared by
  // clear_changes. Moves of the window or the cursor set no flag.
  const uint8_t* changed_rows() const { return changed_.data(); }
  void clear_changes();

 private:
  size_t index(int x, int y) const { return static_cast<size_t>(y) * width_ + x; }
  bool in_buffer(int x, int y) const { return x >= 0 && x < width_ && y >= 0 && y < rows_; }
  void put(int x, int y, CharCell c);
  // Marks the rows a run of `count` cells from linear index `from` touches.
  void mark_run(size_t from, size_t count);
  // Applies `set` to `count` cells from `at` on, up to the buffer's end.
  template <typename Set>
  bool fill(int count, Coord at, Set set);

  int width_;
  int rows_;
  std::vector<CharCell> cells_;
  std::vector<uint8_t> changed_;
  SmallRect window_;
  Coord cursor_;
  CursorInfo cursor_info_;
  uint16_t attr_ = PLAIN_ATTRIBUTE;
};

}  // namespace zw
