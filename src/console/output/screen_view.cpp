#include "console/output/screen_view.h"

#include "console/console.h"
#include "console/console_binding.h"

namespace zw {

namespace {

constexpr int DEFAULT_HEIGHT = 25;
constexpr ScreenSize NO_CONSOLE_SIZE{80, 25};

}  // namespace

// The view is the buffer's full width and the window's rows; all zeros when
// standard output cannot be queried.
void read_view(Console& con) {
  ScreenBufferInfo info;
  ScreenState& s = con.screen;
  ScreenView& v = s.view;
  if (con.port->get_screen_buffer_info(&info)) {
    v.left = 0;
    v.top = info.window.top;
    v.right = static_cast<int16_t>(info.size.x - 1);
    v.bottom = info.window.bottom;
  } else {
    v = ScreenView{};
  }
  s.view_read = true;
  s.block = shows_console(v) ? nullptr : s.redirected;
}

void bind_screen(Console& con) {
  if (con.screen.view_read) return;
  bind_console_handles(con);
  read_view(con);
}

// A terminal moves its content when its window changes (a taller one pulls
// rows back from its scrollback, a shorter one pushes them there), so the
// cursor the port read after the change is the only place known to be
// right: a wrap pending from before is dropped.
uint32_t take_size_change(Console& con) {
  ScreenState& s = con.screen;
  if (s.redirected == nullptr && con.port->take_size_change()) {
    read_view(con);
    s.region.set = false;
    s.pending_wrap = false;
    ++s.size_changes;
  }
  return s.size_changes;
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
