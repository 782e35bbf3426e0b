#include "testing/virtual_console.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

namespace zw {

VirtualConsole::VirtualConsole(int width, int window_rows, int buffer_rows)
    : screen_(width, window_rows, buffer_rows) {}

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

bool VirtualConsole::screen_call(const char* name, bool fault) {
  calls.push_back(name);
  return !output_redirected_ && !fault;
}

bool VirtualConsole::get_screen_buffer_info(ScreenBufferInfo* info) {
  if (!screen_call("get_screen_buffer_info", fail.screen_info)) return false;
  screen_.get_screen_buffer_info(info);
  return true;
}

bool VirtualConsole::write_cells(const CharCell* cells, int count, Coord at) {
  return screen_call("write_cells", fail.write_cells) && screen_.write_cells(cells, count, at);
}

bool VirtualConsole::scroll_rect(SmallRect src, Coord dest, CharCell fill) {
  return screen_call("scroll_rect", fail.scroll) && screen_.scroll_rect(src, dest, fill);
}

bool VirtualConsole::fill_chars(uint8_t ch, int count, Coord pos) {
  return screen_call("fill_chars", fail.fill) && screen_.fill_chars(ch, count, pos);
}

bool VirtualConsole::fill_attrs(uint16_t attr, int count, Coord pos) {
  return screen_call("fill_attrs", fail.fill) && screen_.fill_attrs(attr, count, pos);
}

bool VirtualConsole::set_cursor_position(Coord pos) {
  return screen_call("set_cursor_position", fail.set_cursor) && screen_.set_cursor_position(pos);
}

bool VirtualConsole::get_cursor_info(CursorInfo* info) {
  if (!screen_call("get_cursor_info", fail.cursor_info)) return false;
  *info = screen_.cursor_info();
  return true;
}

bool VirtualConsole::set_cursor_info(const CursorInfo& info) {
  if (!screen_call("set_cursor_info", fail.cursor_info)) return false;
  screen_.set_cursor_info(info);
  return true;
}

bool VirtualConsole::set_window(SmallRect w) {
  return screen_call("set_window", fail.set_window) && screen_.set_window(w);
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

void VirtualConsole::resize_buffer(int rows) { screen_.resize(screen_.width(), rows); }

void VirtualConsole::resize(int width, int rows) {
  screen_.resize(width, rows);
  size_changed_ = true;
}

std::string VirtualConsole::row(int y) const {
  std::string s = buffer_row(screen_.window().top + y);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string VirtualConsole::buffer_row(int y) const { return screen_.buffer_row(y); }

}  // namespace zw
