#include "platform/cell_console.h"

#include <gtest/gtest.h>

#include <random>

namespace zw {
namespace {

// The page redraws only the rows flagged as changed: random screen
// operations, in and out of the buffer's bounds, leave a flag on every row
// whose cells changed. (What the operations do to the cells is the test
// double's, which is this model: the screen writer's tests hold it.)
TEST(CellConsole, FlagsEveryRowWhoseCellsChanged) {
  std::mt19937 rng(26);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto coord = [&] { return Coord{static_cast<int16_t>(pick(-3, 84)), static_cast<int16_t>(pick(-3, 33))}; };
  for (int round = 0; round < 300; ++round) {
    CellConsole cells(80, 25, 30);
    for (int op = 0; op < 40; ++op) {
      std::vector<CharCell> before(80 * 30);
      for (int i = 0; i < 80 * 30; ++i) before[i] = cells.cell(i % 80, i / 80);
      cells.clear_changes();
      const CharCell c{static_cast<uint8_t>(pick(0, 255)), static_cast<uint16_t>(pick(0, 0xFFFF))};
      const Coord at = coord();
      const int count = pick(-2, 200);
      switch (pick(0, 3)) {
        case 0: {
          std::vector<CharCell> run(static_cast<size_t>(std::max(count, 0)), c);
          cells.write_cells(run.data(), count, at);
          break;
        }
        case 1: {
          const Coord from = coord();
          const SmallRect r{from.x, from.y, static_cast<int16_t>(from.x + pick(-2, 90)),
                            static_cast<int16_t>(from.y + pick(-2, 30))};
          cells.scroll_rect(r, at, c);
          break;
        }
        case 2: cells.fill_chars(c.ch, count * 10, at); break;
        default: cells.fill_attrs(c.attr, count * 10, at);
      }
      for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 80; ++x) {
          const CharCell now = cells.cell(x, y), was = before[y * 80 + x];
          if (now.ch != was.ch || now.attr != was.attr) {
            ASSERT_TRUE(cells.changed_rows()[y]) << "round " << round << " op " << op << " row " << y;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace zw
