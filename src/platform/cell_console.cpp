#include "platform/cell_console.h"

#include <algorithm>
#include <utility>

namespace zw {

CellConsole::CellConsole(int width, int window_rows, int buffer_rows)
    : width_(width),
      rows_(std::max(buffer_rows, window_rows)),
      cells_(static_cast<size_t>(width) * rows_),
      changed_(static_cast<size_t>(rows_), 1) {
  window_ = {0, 0, static_cast<int16_t>(width - 1), static_cast<int16_t>(window_rows - 1)};
}

void CellConsole::get_screen_buffer_info(ScreenBufferInfo* info) const {
  info->size = {static_cast<int16_t>(width_), static_cast<int16_t>(rows_)};
  info->cursor = cursor_;
  info->attributes = attr_;
  info->window = window_;
}

void CellConsole::put(int x, int y, CharCell c) {
  cells_[index(x, y)] = c;
  changed_[static_cast<size_t>(y)] = 1;
}

void CellConsole::mark_run(size_t from, size_t count) {
  if (count == 0) return;
  const size_t last = (from + count - 1) / static_cast<size_t>(width_);
  for (size_t y = from / static_cast<size_t>(width_); y <= last; ++y) changed_[y] = 1;
}

bool CellConsole::write_cells(const CharCell* cells, int count, Coord at) {
  for (int i = 0; i < count; ++i) {
    if (in_buffer(at.x + i, at.y)) put(at.x + i, at.y, cells[i]);
  }
  return true;
}

bool CellConsole::scroll_rect(SmallRect src, Coord dest, CharCell fill) {
  src.left = std::max<int16_t>(src.left, 0);
  src.top = std::max<int16_t>(src.top, 0);
  src.right = std::min<int16_t>(src.right, static_cast<int16_t>(width_ - 1));
  src.bottom = std::min<int16_t>(src.bottom, static_cast<int16_t>(rows_ - 1));
  if (src.left > src.right || src.top > src.bottom) return true;
  const int w = src.right - src.left + 1;
  const int h = src.bottom - src.top + 1;
  std::vector<CharCell> copy(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) copy[static_cast<size_t>(y) * w + x] = cell(src.left + x, src.top + y);
  // Every source cell gets the fill first; the copy then lands on dest.
  for (int y = src.top; y <= src.bottom; ++y)
    for (int x = src.left; x <= src.right; ++x) put(x, y, fill);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (in_buffer(dest.x + x, dest.y + y)) put(dest.x + x, dest.y + y, copy[static_cast<size_t>(y) * w + x]);
  return true;
}

template <typename Set>
bool CellConsole::fill(int count, Coord at, Set set) {
  const long long from = static_cast<long long>(at.y) * width_ + at.x;
  if (from < 0 || count <= 0 || static_cast<size_t>(from) >= cells_.size()) return true;
  const size_t n = std::min(static_cast<size_t>(count), cells_.size() - static_cast<size_t>(from));
  for (size_t i = 0; i < n; ++i) set(cells_[static_cast<size_t>(from) + i]);
  mark_run(static_cast<size_t>(from), n);
  return true;
}

bool CellConsole::fill_chars(uint8_t ch, int count, Coord at) {
  return fill(count, at, [ch](CharCell& c) { c.ch = ch; });
}

bool CellConsole::fill_attrs(uint16_t attr, int count, Coord at) {
  return fill(count, at, [attr](CharCell& c) { c.attr = attr; });
}

bool CellConsole::set_cursor_position(Coord pos) {
  if (!in_buffer(pos.x, pos.y)) return false;
  cursor_ = pos;
  return true;
}

void CellConsole::set_cursor_info(const CursorInfo& info) { cursor_info_ = info; }

bool CellConsole::set_window(SmallRect w) {
  if (w.left < 0 || w.top < 0 || w.right >= width_ || w.bottom >= rows_ || w.left > w.right || w.top > w.bottom)
    return false;
  window_ = w;
  return true;
}

std::string CellConsole::buffer_row(int y) const {
  std::string s;
  if (y < 0 || y >= rows_) return s;
  for (int x = 0; x < width_; ++x) s.push_back(static_cast<char>(cell(x, y).ch));
  return s;
}

void CellConsole::resize(int width, int rows) {
  std::vector<CharCell> cells(static_cast<size_t>(width) * rows);
  for (int y = 0; y < std::min(rows, rows_); ++y) {
    for (int x = 0; x < std::min(width, width_); ++x) cells[static_cast<size_t>(y) * width + x] = cell(x, y);
  }
  cells_ = std::move(cells);
  changed_.assign(static_cast<size_t>(rows), 1);
  width_ = width;
  rows_ = rows;
  window_ = {0, 0, static_cast<int16_t>(width - 1), static_cast<int16_t>(rows - 1)};
  cursor_.x = static_cast<int16_t>(std::min<int>(cursor_.x, width - 1));
  cursor_.y = static_cast<int16_t>(std::min<int>(cursor_.y, rows - 1));
}

void CellConsole::clear_changes() { std::fill(changed_.begin(), changed_.end(), 0); }

}  // namespace zw
