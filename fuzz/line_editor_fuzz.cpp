// Fuzz target: the screen writer and the line editor on the virtual console,
// fed random writes, prints, cursor moves, window moves and resizes, typed
// lines, and lines typed while the screen changes size.
//
// Invariants: the console is never asked to write, fill, scroll or place
// the cursor or window outside its buffer; a typed line that fits the view
// is shown in its cells exactly as the editor returns it, and the cursor
// stands just after it.
//
// Input: bytes 0..3 give the console's width, window rows, extra buffer
// rows and the window's first row; then operations, each a byte and its
// arguments.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "console/console.h"
#include "console/input/line_editor.h"
#include "fuzz/fuzz_bytes.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

// Aborts on any request that reaches outside the buffer.
class StrictConsole : public VirtualConsole {
 public:
  StrictConsole(int width, int window_rows, int buffer_rows)
      : VirtualConsole(width, window_rows, buffer_rows) {}
  int scrolls = 0;

  bool write_cells(const CharCell* cells, int count, Coord at) override {
    if (count < 0 || at.x < 0 || at.x + count > width() || !row_inside(at.y)) std::abort();
    return VirtualConsole::write_cells(cells, count, at);
  }
  bool scroll_rect(SmallRect source, Coord dest, CharCell fill) override {
    if (!rect_inside(source) || !inside(dest.x, dest.y)) std::abort();
    ++scrolls;
    return VirtualConsole::scroll_rect(source, dest, fill);
  }
  bool fill_chars(uint8_t ch, int count, Coord at) override {
    check_run(count, at);
    return VirtualConsole::fill_chars(ch, count, at);
  }
  bool fill_attrs(uint16_t attr, int count, Coord at) override {
    check_run(count, at);
    return VirtualConsole::fill_attrs(attr, count, at);
  }
  // Without a console (one column, or one row in the window) the cursor
  // operations work on raw positions, which may well be refused.
  bool set_cursor_position(Coord pos) override {
    if (!inside(pos.x, pos.y) && width() > 1 && window().bottom > window().top) std::abort();
    return VirtualConsole::set_cursor_position(pos);
  }
  bool set_window(SmallRect window) override {
    if (!rect_inside(window)) std::abort();
    return VirtualConsole::set_window(window);
  }

 private:
  bool row_inside(int y) const { return y >= 0 && y < buffer_rows(); }
  bool inside(int x, int y) const { return x >= 0 && x < width() && row_inside(y); }
  bool rect_inside(SmallRect r) const {
    return r.left <= r.right && r.top <= r.bottom && inside(r.left, r.top) && inside(r.right, r.bottom);
  }
  // A fill runs on through the rows from `at` but never past the buffer.
  void check_run(int count, Coord at) const {
    const int64_t end = (int64_t{at.y} * width() + at.x) + count;
    if (count < 0 || !inside(at.x, at.y) || end > int64_t{width()} * buffer_rows()) std::abort();
  }
};

// Gray keys the editor acts on (and one it ignores), by virtual key and scan.
struct GrayKey {
  uint16_t vk;
  uint16_t scan;
};
constexpr GrayKey GRAY_KEYS[] = {
    {VKEY_HOME, 0x47}, {VKEY_UP, 0x48},     {VKEY_PRIOR, 0x49}, {VKEY_LEFT, 0x4B},
    {VKEY_RIGHT, 0x4D}, {VKEY_END, 0x4F},   {VKEY_DOWN, 0x50},  {VKEY_NEXT, 0x51},
    {VKEY_INSERT, 0x52}, {VKEY_DELETE, 0x53},
};

// Queues up to 48 keys from the input, then Enter; returns the most bytes
// the keys can have put into the line.
size_t queue_keys(StrictConsole& vc, Bytes& in) {
  size_t most = 0;
  const int count = in.next() % 49;
  for (int i = 0; i < count && !in.empty(); ++i) {
    const uint8_t kind = in.next();
    const uint8_t arg = in.next();
    switch (kind % 8) {
      case 0:
      case 1:
      case 2:  // a character key
        if (arg >= 32) {
          vc.push_key(key_event_for_char(arg));
          ++most;
        }
        break;
      case 3:
        vc.type("\t");
        most += 8;
        break;
      case 4:
        vc.type(arg % 2 ? "\b" : "\x1b");
        break;
      case 5:
      case 6:
        vc.press_enhanced(GRAY_KEYS[arg % 10].vk, GRAY_KEYS[arg % 10].scan);
        break;
      default:
        vc.press_function(1 + arg % 12);
        break;
    }
  }
  vc.type("\r");
  return most;
}

void edit_one_line(Console& con, StrictConsole& vc, Bytes& in) {
  const size_t most = queue_keys(vc, in);
  // As the input statement does before its prompt: a parked cursor moves on.
  write_console(con, "", 0, WRITE_FORCE);
  const Coord start = vc.cursor();
  const SmallRect window = vc.window();
  const int scrolls_before = vc.scrolls;
  const std::string line = edit_line(con, "");

  // The check holds while the line stays within the view and the buffer's
  // contents have not moved under it, on consoles wider than a Tab: on a
  // narrower one, a Tab's blanks can wrap below the bottom row and end in
  // its last cell, where the parked cursor is one cell short of the place
  // the editor counts from.
  const int width = vc.width();
  const int height = window.bottom - window.top + 1;
  const bool start_in_view = start.y >= window.top && start.y <= window.bottom;
  const bool fits = (static_cast<int64_t>(start.x) + static_cast<int64_t>(most)) / width + 2 < height;
  if (!output_is_console(con) || width <= 8 || !start_in_view || !fits || vc.scrolls != scrolls_before) return;
  const int64_t first = int64_t{start.y} * width + start.x;
  for (size_t i = 0; i < line.size(); ++i) {
    const int64_t cell = first + static_cast<int64_t>(i);
    if (vc.cell(static_cast<int>(cell % width), static_cast<int>(cell / width)).ch !=
        static_cast<uint8_t>(line[i])) {
      std::abort();
    }
  }
  const int64_t after = first + static_cast<int64_t>(line.size());
  if (vc.cursor().x != after % width || vc.cursor().y != after / width) std::abort();
}

}  // namespace
}  // namespace zw

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zw;
  if (size < 4) return 0;
  Bytes in{data, size};
  const int width = 1 + in.next() % 100;
  const int window_rows = 1 + in.next() % 30;
  const int buffer_rows = window_rows + in.next() % 40;
  FuzzConsole<Console, StrictConsole> f(width, window_rows, buffer_rows);
  StrictConsole* vc = f.port.get();
  const int top = in.next() % (buffer_rows - window_rows + 1);
  vc->place_window({0, static_cast<int16_t>(top), static_cast<int16_t>(width - 1),
                    static_cast<int16_t>(top + window_rows - 1)});
  vc->move_cursor({0, static_cast<int16_t>(top)});
  Console* con = &f.bind();

  for (int op = 0; op < 64 && !in.empty(); ++op) {
    switch (in.next() % 7) {
      case 0: {  // raw bytes, control bytes included
        const std::string bytes = in.take(in.next());
        write_console(*con, bytes.data(), static_cast<int32_t>(bytes.size()), in.next() % 2 ? WRITE_FORCE : 0);
        break;
      }
      case 1: {  // a print item with an end action
        const std::string text = in.take(in.next() % 40);
        print_text(*con, 0, text, in.next() % 8);
        break;
      }
      case 2:
        print_double(*con, 0, static_cast<int8_t>(in.next()) / 3.0, in.next() % 8);
        break;
      case 3: {  // cursor placement, in range or not
        const int row = static_cast<int8_t>(in.next());
        const int column = static_cast<int8_t>(in.next());
        constexpr CursorVisibility VISIBILITY[] = {CursorVisibility::KEEP, CursorVisibility::HIDE,
                                                   CursorVisibility::SHOW};
        set_cursor(*con, row, column, VISIBILITY[in.next() % 3]);
        break;
      }
      case 4: {  // the user scrolls the window through the buffer, or resizes it
        const int rows = vc->buffer_rows();
        const int shown = 1 + in.next() % rows;
        const int new_top = in.next() % (rows - shown + 1);
        vc->place_window({0, static_cast<int16_t>(new_top), static_cast<int16_t>(vc->width() - 1),
                          static_cast<int16_t>(new_top + shown - 1)});
        break;
      }
      case 5: {  // a line typed while the screen changes size, as a terminal's does
        const int new_width = 1 + in.next() % 100;
        const int new_rows = 1 + in.next() % 30;
        for (int k = in.next() % 40; k > 0 && !in.empty(); --k) {
          vc->push_key(key_event_for_char(static_cast<uint8_t>(32 + in.next() % 95)));
        }
        bool resized = false;
        vc->on_wait = [&](VirtualConsole& v) {
          if (resized) return;
          resized = true;
          v.resize(new_width, new_rows);
          queue_keys(*vc, in);
        };
        write_console(*con, "", 0, WRITE_FORCE);
        edit_line(*con, "");
        vc->on_wait = nullptr;
        break;
      }
      default:
        edit_one_line(*con, *vc, in);
        break;
    }
  }
  return 0;
}
