#include "testing/virtual_console.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

namespace zw {

VirtualConsole::VirtualConsole(int width, int window_rows, int buffer_rows)
    : width_(width),
      rows_(std::max(buffer_rows, window_rows)),
      cells_(static_cast<size_t>(width) * std::max(buffer_rows, window_rows)) {
  window_ = {0, 0, static_cast<int16_t>(width - 1), static_cast<int16_t>(window_rows - 1)};
}

void VirtualConsole::redirect_input(std::string bytes) {
  input_redirected_ = true;
  stdin_ = std::move(bytes);
  stdin_pos_ = 0;
}

bool VirtualConsole::input_is_console() { return !input_redirected_; }

bool VirtualConsole::enable_processed_input() {
  if (input_redirected_) return false;
  processed_input = true;
  return true;
}

bool VirtualConsole::add_ctrl_handler(CtrlHandler handler, void* context) {
  calls.push_back("add_ctrl_handler");
  ctrl_handler = handler;
  ctrl_context = context;
  return true;
}

bool VirtualConsole::remove_ctrl_handler(CtrlHandler handler) {
  calls.push_back("remove_ctrl_handler");
  if (ctrl_handler != handler) return true;
  ctrl_handler = nullptr;
  ctrl_context = nullptr;
  return true;
}

bool VirtualConsole::get_screen_buffer_info(ScreenBufferInfo* info) {
  calls.push_back("get_screen_buffer_info");
  if (output_redirected_ || fail.screen_info) return false;
  info->size = {static_cast<int16_t>(width_), static_cast<int16_t>(rows_)};
  info->cursor = cursor_;
  info->attributes = attr_;
  info->window = window_;
  return true;
}

bool VirtualConsole::write_cells(const CharCell* cells, int count, Coord at) {
  calls.push_back("write_cells");
  if (output_redirected_ || fail.write_cells) return false;
  for (int i = 0; i < count; ++i) {
    if (in_buffer(at.x + i, at.y)) this->at(at.x + i, at.y) = cells[i];
  }
  return true;
}

bool VirtualConsole::scroll_rect(SmallRect src, Coord dest, CharCell fill) {
  calls.push_back("scroll_rect");
  if (output_redirected_ || fail.scroll) return false;
  src.left = std::max<int16_t>(src.left, 0);
  src.top = std::max<int16_t>(src.top, 0);
  src.right = std::min<int16_t>(src.right, static_cast<int16_t>(width_ - 1));
  src.bottom = std::min<int16_t>(src.bottom, static_cast<int16_t>(rows_ - 1));
  if (src.left > src.right || src.top > src.bottom) return true;
  const int w = src.right - src.left + 1;
  const int h = src.bottom - src.top + 1;
  std::vector<CharCell> copy(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) copy[static_cast<size_t>(y) * w + x] = at(src.left + x, src.top + y);
  // Uncovered source cells get the fill; then the copy lands on dest.
  for (int y = src.top; y <= src.bottom; ++y)
    for (int x = src.left; x <= src.right; ++x) at(x, y) = fill;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (in_buffer(dest.x + x, dest.y + y)) at(dest.x + x, dest.y + y) = copy[static_cast<size_t>(y) * w + x];
  return true;
}

bool VirtualConsole::fill_chars(uint8_t ch, int count, Coord pos) {
  calls.push_back("fill_chars");
  if (output_redirected_ || fail.fill) return false;
  size_t i = static_cast<size_t>(pos.y) * width_ + pos.x;
  for (int n = 0; n < count && i < cells_.size(); ++n, ++i) cells_[i].ch = ch;
  return true;
}

bool VirtualConsole::fill_attrs(uint16_t attr, int count, Coord pos) {
  calls.push_back("fill_attrs");
  if (output_redirected_ || fail.fill) return false;
  size_t i = static_cast<size_t>(pos.y) * width_ + pos.x;
  for (int n = 0; n < count && i < cells_.size(); ++n, ++i) cells_[i].attr = attr;
  return true;
}

bool VirtualConsole::set_cursor_position(Coord pos) {
  calls.push_back("set_cursor_position");
  if (output_redirected_ || fail.set_cursor || !in_buffer(pos.x, pos.y)) return false;
  cursor_ = pos;
  return true;
}

bool VirtualConsole::get_cursor_info(CursorInfo* info) {
  calls.push_back("get_cursor_info");
  if (output_redirected_ || fail.cursor_info) return false;
  *info = cursor_info_;
  return true;
}

bool VirtualConsole::set_cursor_info(const CursorInfo& info) {
  calls.push_back("set_cursor_info");
  if (output_redirected_ || fail.cursor_info) return false;
  cursor_info_ = info;
  return true;
}

bool VirtualConsole::set_window(SmallRect w) {
  calls.push_back("set_window");
  if (output_redirected_ || fail.set_window) return false;
  if (w.left < 0 || w.top < 0 || w.right >= width_ || w.bottom >= rows_ || w.left > w.right ||
      w.top > w.bottom)
    return false;
  window_ = w;
  return true;
}

bool VirtualConsole::write_bytes(const char* bytes, size_t count, size_t* written) {
  calls.push_back("write_bytes");
  if (keep_block_) {
    return output_write(block_, bytes, count, written, [this](const char* b, size_t n) { return hand_on(b, n); });
  }
  if (fail.write_bytes) {
    *written = 0;
    return false;
  }
  if (write_bytes_limit != 0) count = std::min(count, write_bytes_limit);
  written_.append(bytes, count);
  *written = count;
  return true;
}

// The block's device: all the bytes, write_bytes_limit at a time, or none
// when writes fail.
bool VirtualConsole::hand_on(const char* bytes, size_t count) {
  if (fail.write_bytes) return false;
  const size_t piece = write_bytes_limit != 0 ? write_bytes_limit : count;
  return write_all(bytes, count, [&](const char* b, size_t n) {
    const size_t k = std::min(n, piece);
    written_.append(b, k);
    return static_cast<ptrdiff_t>(k);
  });
}

std::string VirtualConsole::output() const {
  return written_ + std::string(block_.block.bytes, block_.block.length);
}

void VirtualConsole::beep(int frequency_hz, int) {
  calls.push_back("beep");
  beeps.push_back(frequency_hz);
}

void VirtualConsole::end_update() { ++updates; }

void VirtualConsole::flush() {
  if (keep_block_) output_flush(block_, [this](const char* b, size_t n) { return hand_on(b, n); });
}

bool VirtualConsole::take_size_change() {
  const bool changed = size_changed_;
  size_changed_ = false;
  return changed;
}

bool VirtualConsole::peek_input(InputRecord* record, int* count) {
  if (input_redirected_ || fail.peek) {
    *count = 0;
    return false;
  }
  *count = events_.empty() ? 0 : 1;
  if (!events_.empty()) *record = events_.front();
  return true;
}

bool VirtualConsole::read_input(InputRecord* record, int* count) {
  if (input_redirected_ || fail.read) {
    *count = 0;
    return false;
  }
  *count = events_.empty() ? 0 : 1;
  if (!events_.empty()) {
    *record = events_.front();
    events_.pop_front();
  }
  return true;
}

unsigned VirtualConsole::map_virtual_key_char(unsigned vk) { return us_layout_vk_char(vk); }

void VirtualConsole::wait_input(int) {
  ++waits;
  if (on_wait) on_wait(*this);
  if (!events_.empty()) {
    idle_waits_ = 0;
    return;
  }
  if (++idle_waits_ > idle_wait_limit) throw Starved();
}

size_t VirtualConsole::read_stdin(char* buffer, size_t count) {
  size_t n = std::min(count, stdin_.size() - stdin_pos_);
  std::memcpy(buffer, stdin_.data() + stdin_pos_, n);
  stdin_pos_ += n;
  return n;
}

void VirtualConsole::push_event(const InputRecord& record) { events_.push_back(record); }

void VirtualConsole::push_key(const KeyEventRecord& key) {
  InputRecord down;
  down.type = InputEventKind::KEY;
  down.key = key;
  down.key.key_down = true;
  events_.push_back(down);
  InputRecord up = down;
  up.key.key_down = false;
  events_.push_back(up);
}

void VirtualConsole::type(const std::string& bytes) {
  for (char c : bytes) push_key(key_event_for_char(static_cast<uint8_t>(c)));
}

void VirtualConsole::press_enhanced(uint16_t vk, uint16_t scan, uint32_t modifiers) {
  KeyEventRecord k;
  k.virtual_key = vk;
  k.scan_code = scan;
  k.ch = 0;
  k.control_state = modifiers | KeyState::ENHANCED;
  push_key(k);
}

void VirtualConsole::press_function(int n, uint32_t modifiers) {
  KeyEventRecord k;
  k.virtual_key = static_cast<uint16_t>(VKEY_F1 + n - 1);
  k.scan_code = static_cast<uint16_t>(n <= 10 ? 0x3B + n - 1 : 0x57 + n - 11);
  k.ch = 0;
  k.control_state = modifiers;
  push_key(k);
}

bool VirtualConsole::send_ctrl_event(ConsoleEvent event) {
  return ctrl_handler != nullptr && ctrl_handler(ctrl_context, event);
}

void VirtualConsole::resize_buffer(int rows) {
  rows_ = rows;
  cells_.resize(static_cast<size_t>(width_) * rows);
  window_ = {0, 0, static_cast<int16_t>(width_ - 1), static_cast<int16_t>(rows - 1)};
  cursor_.y = static_cast<int16_t>(std::min<int>(cursor_.y, rows - 1));
}

void VirtualConsole::resize(int width, int rows) {
  std::vector<CharCell> cells(static_cast<size_t>(width) * rows);
  for (int y = 0; y < std::min(rows, rows_); ++y) {
    for (int x = 0; x < std::min(width, width_); ++x) cells[static_cast<size_t>(y) * width + x] = at(x, y);
  }
  cells_ = std::move(cells);
  width_ = width;
  rows_ = rows;
  window_ = {0, 0, static_cast<int16_t>(width - 1), static_cast<int16_t>(rows - 1)};
  cursor_.x = static_cast<int16_t>(std::min<int>(cursor_.x, width - 1));
  cursor_.y = static_cast<int16_t>(std::min<int>(cursor_.y, rows - 1));
  size_changed_ = true;
}

std::string VirtualConsole::row(int y) const {
  std::string s = buffer_row(window_.top + y);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string VirtualConsole::buffer_row(int y) const {
  std::string s;
  if (y < 0 || y >= rows_) return s;
  for (int x = 0; x < width_; ++x) s.push_back(static_cast<char>(cells_[static_cast<size_t>(y) * width_ + x].ch));
  return s;
}

CharCell VirtualConsole::cell(int x, int y) const { return cells_[static_cast<size_t>(y) * width_ + x]; }

}  // namespace zw
