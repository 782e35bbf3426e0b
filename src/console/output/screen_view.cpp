#include "console/output/screen_view.h"

#include "console/console.h"
#include "console/console_binding.h"

namespace zw {

namespace {

constexpr int DEFAULT_HEIGHT = 25;
constexpr ScreenSize NO_CONSOLE_SIZE{80, 25};

// The view is the buffer's full width and the window's rows.
ScreenView view_of(const ScreenBufferInfo& info) {
  return ScreenView{0, info.window.top, static_cast<int16_t>(info.size.x - 1), info.window.bottom};
}

bool same_size(const ScreenView& a, const ScreenView& b) {
  return a.right - a.left == b.right - b.left && a.bottom - a.top == b.bottom - b.top;
}

void adopt_view(ScreenState& s, const ScreenView& v) {
  s.view = v;
  s.view_read = true;
  s.block = shows_console(v) ? nullptr : s.redirected;
}

}  // namespace

// All zeros when standard output cannot be queried.
void read_view(Console& con) {
  ScreenBufferInfo info;
  adopt_view(con.screen, con.port->get_screen_buffer_info(&info) ? view_of(info) : ScreenView{});
}

void bind_screen(Console& con) {
  if (con.screen.view_read) return;
  bind_console_handles(con);
  read_view(con);
}

// A terminal moves its content when its window changes (a taller one pulls
// rows back from its scrollback, a shorter one pushes them there, a
// narrower one may wrap them), and the port reads its cursor afresh. A wrap
// pending from before is kept: the cursor the port read stands on the cell
// that filled its row, wherever that went, and the next output starts on
// the row after it rather than over it.
uint32_t take_size_change(Console& con) {
  ScreenState& s = con.screen;
  if (s.redirected == nullptr && con.port->take_size_change()) {
    read_view(con);
    s.region.set = false;
    ++s.size_changes;
  }
  return s.size_changes;
}

void follow_window_size(Console& con, const ScreenBufferInfo& info) {
  ScreenState& s = con.screen;
  const ScreenView fresh = view_of(info);
  if (!s.view_read || !shows_console(fresh) || (shows_console(s.view) && same_size(fresh, s.view))) return;
  adopt_view(s, fresh);
  s.region.set = false;
}

void follow_window_size(Console& con) {
  ScreenBufferInfo info;
  if (con.port->get_screen_buffer_info(&info)) follow_window_size(con, info);
}

// Read again when the port saw the size change: a view that was no console
// (one row high, one column wide) is otherwise never read again, as only a
// console write reads it.
const ScreenView& current_view(Console& con) {
  if (!con.screen.view_read) {
    bind_screen(con);
  } else {
    take_size_change(con);
  }
  return con.screen.view;
}

const PrintRegion& print_region(Console& con) {
  PrintRegion& r = con.screen.region;
  if (!r.set) {
    const ScreenView& v = current_view(con);
    const int32_t height = v.bottom - v.top + 1;
    r.first = 1;
    r.last = shows_console(v) && height > 0 ? height : DEFAULT_HEIGHT;
    r.set = true;
  }
  return r;
}

bool output_is_console(const Console& con) { return shows_console(con.screen.view); }

ScreenSize get_screen_size(const Console& con) {
  const ScreenView& v = con.screen.view;
  if (!shows_console(v)) return NO_CONSOLE_SIZE;
  return ScreenSize{v.right - v.left + 1, v.bottom - v.top + 1};
}

}  // namespace zw
