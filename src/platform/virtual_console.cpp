#include "platform/virtual_console.h"

#include <algorithm>
#include <cstring>

namespace zw {

unsigned us_layout_vk_char(unsigned vk) {
  if (vk >= 'A' && vk <= 'Z') return vk;
  if (vk >= '0' && vk <= '9') return vk;
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return '0' + (vk - VK_NUMPAD0);
  switch (vk) {
    case VK_BACK: return 8;
    case VK_TAB: return 9;
    case VK_RETURN: return 13;
    case VK_ESCAPE: return 27;
    case VK_SPACE: return ' ';
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    case VK_OEM_1: return ';';
    case VK_OEM_PLUS: return '=';
    case VK_OEM_COMMA: return ',';
    case VK_OEM_MINUS: return '-';
    case VK_OEM_PERIOD: return '.';
    case VK_OEM_2: return '/';
    case VK_OEM_3: return '`';
    case VK_OEM_4: return '[';
    case VK_OEM_5: return '\\';
    case VK_OEM_6: return ']';
    case VK_OEM_7: return '\'';
    case VK_OEM_102: return '\\';
    default: return 0;
  }
}

namespace {

// US layout: character -> virtual key, scan code, shift needed.
struct UsKey {
  uint16_t vk;
  uint16_t scan;
  bool shift;
};

UsKey us_key_for(uint8_t ch) {
  static const char kRow1[] = "1234567890-=";
  static const char kRow1Shift[] = "!@#$%^&*()_+";
  static const uint16_t kRow1Vk[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0',
                                     VK_OEM_MINUS, VK_OEM_PLUS};
  static const char kLetters[] = "qwertyuiopasdfghjklzxcvbnm";
  static const uint16_t kLetterScan[] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16,
                                         0x17, 0x18, 0x19, 0x1E, 0x1F, 0x20, 0x21,
                                         0x22, 0x23, 0x24, 0x25, 0x26, 0x2C, 0x2D,
                                         0x2E, 0x2F, 0x30, 0x31, 0x32};
  struct Punct { char plain, shifted; uint16_t vk, scan; };
  static const Punct kPunct[] = {
      {'[', '{', VK_OEM_4, 0x1A}, {']', '}', VK_OEM_6, 0x1B},
      {';', ':', VK_OEM_1, 0x27}, {'\'', '"', VK_OEM_7, 0x28},
      {'`', '~', VK_OEM_3, 0x29}, {'\\', '|', VK_OEM_5, 0x2B},
      {',', '<', VK_OEM_COMMA, 0x33}, {'.', '>', VK_OEM_PERIOD, 0x34},
      {'/', '?', VK_OEM_2, 0x35},
  };
  for (int i = 0; i < 12; ++i) {
    if (ch == static_cast<uint8_t>(kRow1[i])) return {kRow1Vk[i], static_cast<uint16_t>(2 + i), false};
    if (ch == static_cast<uint8_t>(kRow1Shift[i])) return {kRow1Vk[i], static_cast<uint16_t>(2 + i), true};
  }
  for (int i = 0; i < 26; ++i) {
    if (ch == static_cast<uint8_t>(kLetters[i])) return {static_cast<uint16_t>('A' + (kLetters[i] - 'a')), kLetterScan[i], false};
    if (ch == static_cast<uint8_t>(kLetters[i] - 32)) return {static_cast<uint16_t>('A' + (kLetters[i] - 'a')), kLetterScan[i], true};
  }
  for (const Punct& p : kPunct) {
    if (ch == static_cast<uint8_t>(p.plain)) return {p.vk, p.scan, false};
    if (ch == static_cast<uint8_t>(p.shifted)) return {p.vk, p.scan, true};
  }
  switch (ch) {
    case ' ': return {VK_SPACE, 0x39, false};
    case 8: return {VK_BACK, 0x0E, false};
    case 9: return {VK_TAB, 0x0F, false};
    case 13: return {VK_RETURN, 0x1C, false};
    case 27: return {VK_ESCAPE, 0x01, false};
    default: return {0, 0, false};
  }
}

}  // namespace

KeyEventRecord key_event_for_char(uint8_t ch) {
  UsKey k = us_key_for(ch);
  KeyEventRecord ev;
  ev.key_down = true;
  ev.repeat_count = 1;
  ev.virtual_key = k.vk;
  ev.scan_code = k.scan;
  ev.ch = ch;
  ev.control_state = k.shift ? uint32_t{SHIFT_PRESSED} : 0u;
  return ev;
}

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

void VirtualConsole::set_arithmetic_mode() { calls.push_back("set_arithmetic_mode"); }

bool VirtualConsole::input_is_console() { return !input_redirected_; }

bool VirtualConsole::enable_processed_input() {
  if (input_redirected_) return false;
  processed_input = true;
  return true;
}

bool VirtualConsole::set_ctrl_handler(CtrlHandler handler, bool add) {
  calls.push_back(add ? "set_ctrl_handler(add)" : "set_ctrl_handler(remove)");
  ctrl_handler = add ? handler : nullptr;
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
  if (fail.write_bytes) {
    *written = 0;
    return false;
  }
  if (write_bytes_limit != 0) count = std::min(count, write_bytes_limit);
  output.append(bytes, count);
  *written = count;
  return true;
}

void VirtualConsole::beep(int frequency_hz, int) {
  calls.push_back("beep");
  beeps.push_back(frequency_hz);
}

void VirtualConsole::end_update() { ++updates; }

void VirtualConsole::flush() {}

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
  down.type = KEY_EVENT;
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
  k.control_state = modifiers | ENHANCED_KEY;
  push_key(k);
}

void VirtualConsole::press_function(int n, uint32_t modifiers) {
  KeyEventRecord k;
  k.virtual_key = static_cast<uint16_t>(VK_F1 + n - 1);
  k.scan_code = static_cast<uint16_t>(n <= 10 ? 0x3B + n - 1 : 0x57 + n - 11);
  k.ch = 0;
  k.control_state = modifiers;
  push_key(k);
}

bool VirtualConsole::send_ctrl_event(int event) {
  return ctrl_handler != nullptr && ctrl_handler(event);
}

void VirtualConsole::resize_buffer(int rows) {
  rows_ = rows;
  cells_.resize(static_cast<size_t>(width_) * rows);
  window_ = {0, 0, static_cast<int16_t>(width_ - 1), static_cast<int16_t>(rows - 1)};
  cursor_.y = static_cast<int16_t>(std::min<int>(cursor_.y, rows - 1));
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
