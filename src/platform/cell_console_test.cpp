#include "platform/cell_console.h"

#include <gtest/gtest.h>

#include <random>

#include "testing/virtual_console.h"

namespace zw {
namespace {

// Random screen operations, in and out of the buffer's bounds, applied to
// the cell console and to the test double: both end in the same cells,
// window and cursor, and answer every operation alike. The changed-row
// flags cover every row whose cells changed.
TEST(CellConsole, ActsAsTheTestDoubleOnEveryScreenOperation) {
  std::mt19937 rng(26);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto coord = [&] { return Coord{static_cast<int16_t>(pick(-3, 84)), static_cast<int16_t>(pick(-3, 33))}; };
  for (int round = 0; round < 300; ++round) {
    CellConsole cells(80, 25, 30);
    VirtualConsole vc(80, 25, 30);
    for (int op = 0; op < 40; ++op) {
      std::vector<CharCell> before(80 * 30);
      for (int i = 0; i < 80 * 30; ++i) before[i] = cells.cell(i % 80, i / 80);
      cells.clear_changes();
      const CharCell c{static_cast<uint8_t>(pick(0, 255)), static_cast<uint16_t>(pick(0, 0xFFFF))};
      const Coord at = coord();
      const int count = pick(-2, 200);
      bool a = true, b = true;
      switch (pick(0, 6)) {
        case 0: {
          std::vector<CharCell> run(static_cast<size_t>(std::max(count, 0)), c);
          a = cells.write_cells(run.data(), count, at), b = vc.write_cells(run.data(), count, at);
          break;
        }
        case 1: {
          const Coord from = coord();
          const SmallRect r{from.x, from.y, static_cast<int16_t>(from.x + pick(-2, 90)),
                            static_cast<int16_t>(from.y + pick(-2, 30))};
          a = cells.scroll_rect(r, at, c), b = vc.scroll_rect(r, at, c);
          break;
        }
        case 2: a = cells.fill_chars(c.ch, count * 10, at), b = vc.fill_chars(c.ch, count * 10, at); break;
        case 3: a = cells.fill_attrs(c.attr, count * 10, at), b = vc.fill_attrs(c.attr, count * 10, at); break;
        case 4: a = cells.set_cursor_position(at), b = vc.set_cursor_position(at); break;
        case 5: {
          const SmallRect w{static_cast<int16_t>(pick(-1, 1)), at.y, static_cast<int16_t>(pick(78, 80)),
                            static_cast<int16_t>(at.y + pick(-1, 26))};
          a = cells.set_window(w), b = vc.set_window(w);
          break;
        }
        default: {
          const CursorInfo info{static_cast<uint32_t>(pick(1, 100)), pick(0, 1) == 1};
          cells.set_cursor_info(info);
          vc.set_cursor_info(info);
        }
      }
      ASSERT_EQ(a, b) << "round " << round << " op " << op;
      for (int y = 0; y < 30; ++y) {
        ASSERT_EQ(cells.buffer_row(y), vc.buffer_row(y)) << "round " << round << " op " << op << " row " << y;
        for (int x = 0; x < 80; ++x) {
          ASSERT_EQ(cells.cell(x, y).attr, vc.cell(x, y).attr) << x << "," << y;
          const bool changed = cells.cell(x, y).ch != before[y * 80 + x].ch || cells.cell(x, y).attr != before[y * 80 + x].attr;
          if (changed) {
            ASSERT_TRUE(cells.changed_rows()[y]) << "round " << round << " op " << op << " row " << y;
          }
        }
      }
      ScreenBufferInfo ci, vi;
      cells.get_screen_buffer_info(&ci);
      ASSERT_TRUE(vc.get_screen_buffer_info(&vi));
      ASSERT_EQ(ci.cursor.x, vi.cursor.x);
      ASSERT_EQ(ci.cursor.y, vi.cursor.y);
      ASSERT_EQ(ci.window.top, vi.window.top);
      ASSERT_EQ(ci.window.bottom, vi.window.bottom);
      ASSERT_EQ(ci.window.left, vi.window.left);
      ASSERT_EQ(ci.window.right, vi.window.right);
      ASSERT_EQ(cells.cursor_info().visible, vc.cursor_visible());
    }
  }
}

}  // namespace
}  // namespace zw
