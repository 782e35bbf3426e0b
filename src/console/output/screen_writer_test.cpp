#include "console/output/screen_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/console.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

std::string trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// A virtual console with the console records bound to it.
struct Screen {
  VirtualConsole vc;
  std::unique_ptr<Console> con = std::make_unique<Console>();

  Screen(int width, int window_rows, int buffer_rows) : vc(width, window_rows, buffer_rows) {
    reset_console(*con, &vc);
  }
  void write(std::string_view s, int flags = 0) {
    write_console(*con, s.data(), static_cast<int32_t>(s.size()), flags);
  }
  int count(const std::string& call) const {
    return static_cast<int>(std::count(vc.calls.begin(), vc.calls.end(), call));
  }
  // Window rows 0..n-1, trailing blanks removed.
  std::vector<std::string> window_rows(int n) const {
    std::vector<std::string> rows;
    for (int y = 0; y < n; ++y) rows.push_back(vc.row(y));
    return rows;
  }
  // Writes a text straight into the buffer, bypassing the writer.
  void put(int x, int y, std::string_view text) {
    std::vector<CharCell> cells;
    for (char ch : text) cells.push_back({static_cast<uint8_t>(ch), 7});
    vc.write_cells(cells.data(), static_cast<int>(cells.size()),
                   {static_cast<int16_t>(x), static_cast<int16_t>(y)});
  }
  // Rows r0..r4 with the cursor after "r4".
  void fill_five_rows() { write("r0\r\nr1\r\nr2\r\nr3\r\nr4"); }
};

using XY = std::pair<int, int>;
XY xy(Coord c) { return {c.x, c.y}; }

const std::string kTwenty = "abcdefghijklmnopqrst";

TEST(ScreenWriter, ControlBytesWrapAndTabs) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> rows;  // window rows 0..2
    XY cursor;
  };
  const Case cases[] = {
      {"plain text", "abc", {"abc", "", ""}, {3, 0}},
      {"CR returns on the same row", "ab\rX", {"Xb", "", ""}, {1, 0}},
      {"LF includes the return", "abcde\nX", {"abcde", "X", ""}, {1, 1}},
      {"CR LF", "abc\r\ndef", {"abc", "def", ""}, {3, 1}},
      {"TAB from column 5 writes 3 blanks", "abcde\t|", {"abcde   |", "", ""}, {9, 0}},
      {"TAB from column 8 writes 8 blanks", "abcdefgh\t|", {"abcdefgh        |", "", ""}, {17, 0}},
      {"TAB from column 0", "\t|", {"        |", "", ""}, {9, 0}},
      {"TAB blanks overwrite cells", "################\r\t|", {"        |#######", "", ""}, {9, 0}},
      {"TAB blanks wrap like text", "abcdefghijklmnopqr\t|", {"abcdefghijklmnopqr", "    |", ""}, {5, 1}},
      {"BS at the left column does nothing", "\bX", {"X", "", ""}, {1, 0}},
      {"BS moves left without erasing", "abc\b\bX", {"aXc", "", ""}, {2, 0}},
      {"BS never goes to the row above", "ab\n\bX", {"ab", "X", ""}, {1, 1}},
      {"long text wraps", "abcdefghijklmnopqrstuvwxy", {kTwenty, "uvwxy", ""}, {5, 1}},
      {"full row then CR LF leaves an empty row", kTwenty + "\r\nX", {kTwenty, "", "X"}, {1, 2}},
      {"VT, FF and NUL are characters", std::string("a\x0b\x0c\0b", 5),
       {std::string("a\x0b\x0c\0b", 5), "", ""}, {5, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Screen s(20, 5, 5);
    s.write(c.bytes);
    EXPECT_EQ(s.window_rows(3), c.rows);
    EXPECT_EQ(xy(s.vc.cursor()), c.cursor);
    EXPECT_EQ(s.count("scroll_rect"), 0);
  }
}

TEST(ScreenWriter, BellSoundsBeforeEarlierCharactersAppear) {
  Screen s(20, 5, 5);
  s.write("ab\acd");
  const auto& calls = s.vc.calls;
  const auto bell = std::find(calls.begin(), calls.end(), "beep");
  const auto cells = std::find(calls.begin(), calls.end(), "write_cells");
  ASSERT_NE(bell, calls.end());
  EXPECT_LT(bell, cells);
  EXPECT_EQ(s.count("write_cells"), 1);  // the bell does not split the run
  EXPECT_EQ(s.vc.beeps, std::vector<int>{1000});
  EXPECT_EQ(s.vc.row(0), "abcd");
  EXPECT_EQ(xy(s.vc.cursor()), (XY{4, 0}));

  s.vc.calls.clear();
  s.write("\a");
  EXPECT_EQ(s.count("write_cells"), 0);
  EXPECT_EQ(xy(s.vc.cursor()), (XY{4, 0}));
}

TEST(ScreenWriter, FillingTheLastCellParksUntilTheNextWrite) {
  struct Case {
    const char* name;
    int buffer_rows;
    std::string next;
    int flags;
    std::vector<std::string> rows;  // window rows after the next write
    XY cursor;                   // buffer coordinates
    int window_top;
    int scrolls;
  };
  const Case cases[] = {
      {"next text scrolls the buffer", 5, "X", 0, {"r1", "r2", "r3", kTwenty, "X"}, {1, 4}, 0, 1},
      {"forcing empty write", 5, "", WRITE_FORCE, {"r1", "r2", "r3", kTwenty, ""}, {0, 4}, 0, 1},
      {"empty write without force", 5, "", 0, {"r0", "r1", "r2", "r3", kTwenty}, {19, 4}, 0, 0},
      {"CR LF after parking", 5, "\r\n", 0, {"r2", "r3", kTwenty, "", ""}, {0, 4}, 0, 2},
      {"room below moves the window", 10, "X", 0, {"r1", "r2", "r3", kTwenty, "X"}, {1, 5}, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Screen s(20, 5, c.buffer_rows);
    s.write("r0\r\nr1\r\nr2\r\nr3\r\n" + kTwenty);
    EXPECT_EQ(xy(s.vc.cursor()), (XY{19, 4}));
    EXPECT_EQ(s.window_rows(5), (std::vector<std::string>{"r0", "r1", "r2", "r3", kTwenty}));
    EXPECT_EQ(s.count("scroll_rect") + s.count("set_window"), 0);

    s.write(c.next, c.flags);
    EXPECT_EQ(s.window_rows(5), c.rows);
    EXPECT_EQ(xy(s.vc.cursor()), c.cursor);
    EXPECT_EQ(s.vc.window().top, c.window_top);
    EXPECT_EQ(s.count("scroll_rect"), c.scrolls);
    if (c.window_top > 0) {
      EXPECT_EQ(trim(s.vc.buffer_row(0)), "r0");
    }
  }
}

TEST(ScreenWriter, SetCursorClearsThePendingWrap) {
  Screen s(20, 5, 5);
  s.write("r0\r\nr1\r\nr2\r\nr3\r\n" + kTwenty);
  set_cursor(*s.con, 0, 0, CursorVisibility::KEEP);  // back onto the parked cell
  s.write("X");
  EXPECT_EQ(s.vc.row(4), "abcdefghijklmnopqrsX");
  EXPECT_EQ(s.count("scroll_rect"), 0);
}

TEST(ScreenWriter, LineFeedsScrollOnceByTheWholeAmount) {
  Screen s(20, 5, 5);
  s.fill_five_rows();
  s.vc.calls.clear();
  s.write("\n\n\nX");
  EXPECT_EQ(s.count("scroll_rect"), 1);
  EXPECT_EQ(s.window_rows(5), (std::vector<std::string>{"r3", "r4", "", "", "X"}));
  EXPECT_EQ(xy(s.vc.cursor()), (XY{1, 4}));
}

TEST(ScreenWriter, ScrollingMovesTheWindowWhileTheBufferHasRoom) {
  struct Case {
    const char* name;
    int buffer_rows;
    int line_feeds;
    int window_top;
    std::string buffer_row0;  // what is left at the buffer's top
    int scrolls;
    int window_moves;
  };
  const Case cases[] = {
      {"window moves, history kept", 10, 1, 1, "r0", 0, 1},
      {"window moves to the end, then the buffer scrolls", 10, 7, 5, "r2", 1, 1},
      {"window moves, the rest clears the region", 10, 20, 5, "r0", 0, 1},
      {"no room: top row lost", 5, 1, 0, "r1", 1, 0},
      {"no room: more than half the buffer", 5, 4, 0, "r4", 1, 0},
      {"no room: whole buffer cleared", 5, 6, 0, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Screen s(20, 5, c.buffer_rows);
    s.fill_five_rows();
    s.vc.calls.clear();
    s.write(std::string(c.line_feeds, '\n') + "X");
    EXPECT_EQ(s.vc.window().top, c.window_top);
    EXPECT_EQ(s.vc.window().bottom, c.window_top + 4);
    EXPECT_EQ(trim(s.vc.buffer_row(0)), c.buffer_row0);
    EXPECT_EQ(s.vc.row(4), "X");
    for (int y = 0; y < 4 && c.line_feeds >= 5; ++y) EXPECT_EQ(s.vc.row(y), "") << y;
    EXPECT_EQ(xy(s.vc.cursor()), (XY{1, c.window_top + 4}));
    EXPECT_EQ(s.count("scroll_rect"), c.scrolls);
    EXPECT_EQ(s.count("set_window"), c.window_moves);
  }
}

// A window resized by hand (no port reports it): the next write fixes the
// region afresh at the window's height, so output fills a taller window
// and brings the cursor back into a shorter one, and a wrap pending from
// before still starts the next row.
TEST(ScreenWriter, RegionFollowsAWindowResizedByHand) {
  struct Case {
    const char* name;
    int16_t window_bottom;  // the user resizes the window to rows 0..bottom
    std::string before, bytes;
    int16_t want_top;       // the window afterwards
    std::vector<std::string> rows;  // buffer rows 0..5
    XY cursor;
  };
  const std::string row4 = "r0\r\nr1\r\nr2\r\nr3\r\nr4";
  const Case cases[] = {
      {"taller: the rows below fill", 7, row4, "\nX", 0, {"r0", "r1", "r2", "r3", "r4", "X"}, {1, 5}},
      {"taller, then past its bottom", 7, row4, "\n\n\n\nX", 1, {"r0", "r1", "r2", "r3", "r4", ""}, {1, 8}},
      {"shorter: the cursor comes back into it", 2, row4, "\nX", 3, {"r0", "r1", "r2", "r3", "r4", "X"}, {1, 5}},
      {"a pending wrap is kept", 7, "r0\r\nr1\r\nr2\r\nr3\r\n" + std::string(20, 'z'), "X", 0,
       {"r0", "r1", "r2", "r3", std::string(20, 'z'), "X"}, {1, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Screen s(20, 5, 10);
    s.write(c.before);  // fixes the region at 5 rows
    s.vc.place_window({0, 0, 19, c.window_bottom});
    s.write(c.bytes);
    std::vector<std::string> rows;
    for (int y = 0; y < 6; ++y) rows.push_back(trim(s.vc.buffer_row(y)));
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(xy(s.vc.cursor()), c.cursor);
    EXPECT_EQ(s.vc.window().top, c.want_top);
    EXPECT_EQ(s.vc.window().bottom - s.vc.window().top, c.window_bottom);
  }
}

// A size change the port reports (a terminal resized) re-bases the view:
// the region is fixed afresh at the new height, and a wrap pending from
// before starts the row after the one the port has the cursor on.
// Output to a file or a pipe that goes into the port's block never asks.
TEST(ScreenWriter, ReportedSizeChangeReBasesTheView) {
  {
    Screen s(20, 5, 5);
    s.fill_five_rows();  // the region fixed at 5 rows, the cursor after "r4"
    s.vc.resize(20, 8);
    s.write("\nX");
    EXPECT_EQ(s.window_rows(6), (std::vector<std::string>{"r0", "r1", "r2", "r3", "r4", "X"}));
    EXPECT_EQ(s.con->screen.size_changes, 1u);
  }
  {
    Screen s(10, 3, 3);
    s.write("r0\r\nr1\r\n" + std::string(10, 'z'));  // parked in the bottom row's last cell
    s.vc.resize(10, 5);
    s.write("X");
    EXPECT_EQ(s.window_rows(4), (std::vector<std::string>{"r0", "r1", "zzzzzzzzzz", "X"}));
    EXPECT_EQ(xy(s.vc.cursor()), (XY{1, 3}));
  }
  {
    VirtualConsole vc(20, 5, 5);
    vc.redirect_output(true);
    vc.keep_output_block(true);
    auto con = std::make_unique<Console>();
    reset_console(*con, &vc);
    write_console(*con, "a", 1, 0);
    vc.resize(30, 5);
    write_console(*con, "b", 1, 0);
    EXPECT_EQ(vc.output(), "ab");
    EXPECT_EQ(con->screen.size_changes, 0u);
    EXPECT_TRUE(vc.take_size_change());  // still the port's
  }
}

TEST(ScreenWriter, RegionEndsAtTheLastRowOfABufferThatShrank) {
  // A terminal made shorter after the region was fixed: output at the
  // bottom scrolls the rows that exist instead of going below them.
  Screen s(20, 5, 5);
  s.fill_five_rows();
  s.vc.resize_buffer(3);
  s.write("", WRITE_FORCE);
  s.vc.move_cursor({2, 2});
  s.write("\nX");
  EXPECT_EQ(s.window_rows(3), (std::vector<std::string>{"r1", "r2", "X"}));
  EXPECT_EQ(xy(s.vc.cursor()), (XY{1, 2}));
}

TEST(ScreenWriter, ScrolledAndClearedCellsTakeTheCurrentAttribute) {
  Screen s(20, 5, 5);
  s.vc.set_attribute(0x1E);
  s.write("ab\r\n\r\n\r\n\r\n");
  EXPECT_EQ(s.vc.cell(1, 0).attr, 0x1E);
  s.vc.set_attribute(0x2F);
  s.write("\n");  // uncovered by the scroll
  EXPECT_EQ(s.vc.cell(7, 4).attr, 0x2F);
  s.vc.set_attribute(0x3A);
  s.write("\n\n\n");  // more than half the buffer: cleared as well
  for (int y = 2; y < 5; ++y) EXPECT_EQ(s.vc.cell(7, y).attr, 0x3A) << y;
  s.vc.set_attribute(0x4B);
  s.write("\n\n\n\n\n\n");  // the whole buffer
  for (int y = 0; y < 5; ++y) EXPECT_EQ(s.vc.cell(7, y).attr, 0x4B) << y;
}

TEST(ScreenWriter, NoConsoleGetsTheBytesUnchanged) {
  struct Case {
    const char* name;
    int width, window_rows, buffer_rows;
    bool redirected;
  };
  const Case cases[] = {
      {"redirected output", 20, 5, 5, true},
      {"window one row high", 20, 1, 5, false},
      {"buffer one column wide", 1, 5, 5, false},
  };
  const std::string bytes = "ab\r\n\t\a\bc" + std::string(30, 'x') + "\r\n";
  for (const Case& c : cases) {
    for (const bool block : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (block ? ", into the port's block" : ""));
      Screen s(c.width, c.window_rows, c.buffer_rows);
      s.vc.redirect_output(c.redirected);
      s.vc.keep_output_block(block);
      reset_console(*s.con, &s.vc);
      s.write(bytes);
      s.write("", WRITE_FORCE);
      EXPECT_FALSE(output_is_console(*s.con));
      EXPECT_EQ(s.vc.output(), bytes);
      EXPECT_TRUE(s.vc.beeps.empty());
      EXPECT_EQ(s.count("write_cells") + s.count("set_cursor_position"), 0);
      const ScreenSize size = get_screen_size(*s.con);
      EXPECT_EQ(size.width, 80);
      EXPECT_EQ(size.height, 25);
    }
  }
}

TEST(ScreenWriter, RedirectedWritesLoopUntilDoneOrFailed) {
  Screen s(20, 5, 5);
  s.vc.redirect_output(true);
  s.vc.write_bytes_limit = 3;
  s.write("0123456789");
  EXPECT_EQ(s.vc.output(), "0123456789");
  EXPECT_EQ(s.count("write_bytes"), 4);

  s.vc.calls.clear();
  s.vc.fail.write_bytes = true;
  s.write("lost");
  EXPECT_EQ(s.vc.output(), "0123456789");
  EXPECT_EQ(s.count("write_bytes"), 1);
}

TEST(ScreenWriter, FailingScreenInfo) {
  // Unreadable from the start: no console.
  {
    Screen s(20, 5, 5);
    s.vc.fail.screen_info = true;
    s.write("ab");
    EXPECT_EQ(s.vc.output(), "ab");
    EXPECT_EQ(get_cursor(*s.con).column, 0);
    EXPECT_EQ(get_cursor(*s.con).row, 0);
  }
  // Failing at the start of a console write: the defaults place the text at
  // the region's top left, and the view read after it ends the console road.
  {
    Screen s(20, 5, 5);
    s.write("ab");
    s.vc.move_cursor({5, 3});
    s.vc.fail.screen_info = true;
    s.write("X");
    EXPECT_EQ(s.vc.row(0), "Xb");
    EXPECT_EQ(xy(s.vc.cursor()), (XY{1, 0}));
    s.vc.fail.screen_info = false;
    s.write("Y");
    EXPECT_EQ(s.vc.output(), "Y");
  }
}

TEST(ScreenWriter, FailingCellWriteDropsTheRestOfTheRun) {
  Screen s(20, 5, 5);
  s.vc.fail.write_cells = true;
  s.write(std::string(30, 'x'));
  EXPECT_EQ(s.count("write_cells"), 1);
  EXPECT_EQ(s.count("set_cursor_position"), 1);
  EXPECT_EQ(s.vc.updates, 1);
  EXPECT_EQ(xy(s.vc.cursor()), (XY{0, 0}));
  s.vc.fail.write_cells = false;
  s.write("ok");
  EXPECT_EQ(s.vc.row(0), "ok");
}

TEST(ScreenWriter, PlatformCallsPerWrite) {
  Screen s(20, 5, 50);
  s.write("x");  // binds the console and reads the view

  // The context is read once per write however many bytes it has.
  std::vector<int> info_calls;
  for (const std::string& bytes :
       {std::string("y"), std::string(45, 'z') + std::string(10, '\n') + std::string(1500, 'w')}) {
    s.vc.calls.clear();
    s.write(bytes);
    info_calls.push_back(s.count("get_screen_buffer_info"));
  }
  EXPECT_EQ(info_calls[0], info_calls[1]);
  EXPECT_EQ(info_calls[0], 2);  // the context, and the view after the write

  // One cell write per row piece; one update per write.
  Screen t(20, 5, 50);
  t.write(std::string(45, 'a'));
  EXPECT_EQ(t.count("write_cells"), 3);
  EXPECT_EQ(t.vc.updates, 1);
  t.write("\r\n");
  EXPECT_EQ(t.vc.updates, 2);
}

TEST(ScreenWriter, LongRunsAreCollectedInBoundedPieces) {
  Screen s(40, 30, 30);
  std::string bytes;
  for (int i = 0; i < 1030; ++i) bytes.push_back(static_cast<char>('a' + i % 26));
  s.write(bytes);
  std::string shown;
  for (int y = 0; y < 26; ++y) shown += s.vc.buffer_row(y);
  EXPECT_EQ(trim(shown), bytes);
  EXPECT_EQ(xy(s.vc.cursor()), (XY{30, 25}));
  EXPECT_EQ(s.count("write_cells"), 27);  // 1024 collected, then the rest
}

TEST(ScreenWriter, SetCursor) {
  constexpr CursorVisibility KEEP = CursorVisibility::KEEP, HIDE = CursorVisibility::HIDE,
                             SHOW = CursorVisibility::SHOW;
  struct Case {
    const char* name;
    int32_t row, column;
    CursorVisibility visibility;
    bool visible_before;
    XY cursor;  // start (4, 2): row 3, column 5
    int32_t packed;
    bool visible_after;
    int32_t print_column;
  };
  const Case cases[] = {
      {"row and column", 2, 7, KEEP, true, {6, 1}, 2 * 256 + 7 + CURSOR_WAS_VISIBLE, true, 6},
      {"row 0 keeps the row", 0, 7, KEEP, true, {6, 2}, 3 * 256 + 7 + CURSOR_WAS_VISIBLE, true, 6},
      {"column 0 keeps the column", 4, 0, KEEP, true, {4, 3}, 4 * 256 + 5 + CURSOR_WAS_VISIBLE, true, 99},
      {"row below the region", 6, 7, KEEP, true, {4, 2}, 3 * 256 + 5 + CURSOR_WAS_VISIBLE, true, 99},
      {"row above the region", -1, 7, KEEP, true, {4, 2}, 3 * 256 + 5 + CURSOR_WAS_VISIBLE, true, 99},
      {"column beyond the width", 2, 21, KEEP, true, {4, 2}, 3 * 256 + 5 + CURSOR_WAS_VISIBLE, true, 99},
      {"hide, outside the region", 9, 1, HIDE, true, {4, 2}, 3 * 256 + 5 + CURSOR_WAS_VISIBLE, false, 99},
      {"show a hidden cursor", 1, 20, SHOW, false, {19, 0}, 1 * 256 + 20, true, 19},
      {"keep hidden", 0, 0, KEEP, false, {4, 2}, 3 * 256 + 5, false, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Screen s(20, 5, 10);
    s.con->device.set_up = true;
    s.con->device.line_width = 20;
    s.con->device.print_column = 99;
    s.vc.move_cursor({4, 2});
    s.vc.set_cursor_info({25, c.visible_before});
    EXPECT_EQ(set_cursor(*s.con, c.row, c.column, c.visibility), c.packed);
    EXPECT_EQ(xy(s.vc.cursor()), c.cursor);
    EXPECT_EQ(s.vc.cursor_visible(), c.visible_after);
    EXPECT_EQ(s.con->device.print_column, c.print_column);
  }
}

TEST(ScreenWriter, CursorPositionsAreRelativeToTheView) {
  Screen s(20, 5, 10);
  s.vc.place_window({0, 3, 19, 7});
  s.con->device.set_up = true;
  set_cursor(*s.con, 2, 5, CursorVisibility::KEEP);
  EXPECT_EQ(xy(s.vc.cursor()), (XY{4, 4}));
  const CursorPos pos = get_cursor(*s.con);
  EXPECT_EQ(pos.column, 5);
  EXPECT_EQ(pos.row, 2);
  const ScreenSize size = get_screen_size(*s.con);
  EXPECT_EQ(size.width, 20);
  EXPECT_EQ(size.height, 5);
}

TEST(ScreenWriter, MoveCursorBy) {
  struct Case {
    const char* name;
    int32_t column, row, delta, width;
    int32_t want_column, want_row;
    XY cursor;  // the screen cursor afterwards; it starts at (0, 0)
    std::string top_row;
  };
  const Case cases[] = {
      {"left from column 1 wraps to the row above", 1, 2, -1, 20, 20, 1, {19, 0}, "r0"},
      {"forward over rows", 5, 3, 45, 20, 10, 5, {9, 4}, "r0"},
      {"up one row", 5, 3, -20, 20, 5, 2, {4, 1}, "r0"},
      {"above the region: cursor stays", 1, 1, -1, 20, 20, 0, {0, 0}, "r0"},
      {"floor division below zero", 1, 1, -21, 20, 20, -1, {0, 0}, "r0"},
      {"past the last cell scrolls one row", 20, 5, 1, 20, 1, 6, {0, 4}, "r1"},
      {"width 0 counts as 1", 3, 2, 1, 0, 1, 5, {0, 4}, "r0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Screen s(20, 5, 5);
    s.fill_five_rows();
    s.vc.move_cursor({0, 0});
    int32_t column = c.column;
    int32_t row = c.row;
    move_cursor_by(*s.con, &column, &row, c.delta, c.width, 5);
    EXPECT_EQ(column, c.want_column);
    EXPECT_EQ(row, c.want_row);
    EXPECT_EQ(xy(s.vc.cursor()), c.cursor);
    EXPECT_EQ(s.vc.row(0), c.top_row);
  }
}

}  // namespace
}  // namespace zw
