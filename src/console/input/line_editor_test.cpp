#include "console/input/line_editor.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "console/console.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

// Keys as a script: characters are typed, and these stand for other keys.
const std::string LEFT = "\x10", RIGHT = "\x11", UP = "\x12", DOWN = "\x13", HOME = "\x14",
                  END = "\x15", DEL = "\x16", INSERT = "\x17", PGUP = "\x18", PGDN = "\x19",
                  F1 = "\x1a", CTRL_ENTER = "\x1c";

void press(VirtualConsole& vc, const std::string& script) {
  for (char c : script) {
    switch (c) {
      case '\x10': vc.press_enhanced(VKEY_LEFT, 0x4B); break;
      case '\x11': vc.press_enhanced(VKEY_RIGHT, 0x4D); break;
      case '\x12': vc.press_enhanced(VKEY_UP, 0x48); break;
      case '\x13': vc.press_enhanced(VKEY_DOWN, 0x50); break;
      case '\x14': vc.press_enhanced(VKEY_HOME, 0x47); break;
      case '\x15': vc.press_enhanced(VKEY_END, 0x4F); break;
      case '\x16': vc.press_enhanced(VKEY_DELETE, 0x53); break;
      case '\x17': vc.press_enhanced(VKEY_INSERT, 0x52); break;
      case '\x18': vc.press_enhanced(VKEY_PRIOR, 0x49); break;
      case '\x19': vc.press_enhanced(VKEY_NEXT, 0x51); break;
      case '\x1a': vc.press_function(1); break;
      case '\x1c': {
        KeyEventRecord k = key_event_for_char(10);
        k.virtual_key = VKEY_RETURN;
        k.scan_code = 0x1C;
        k.control_state = KeyState::LEFT_CTRL;
        vc.push_key(k);
        break;
      }
      default: vc.type(std::string(1, c));
    }
  }
}

struct Editor {
  std::unique_ptr<VirtualConsole> vc;
  std::unique_ptr<Console> con = std::make_unique<Console>();
  std::string prompt;
  Editor(int width, int rows, const std::string& before) : prompt(before) {
    vc = std::make_unique<VirtualConsole>(width, rows, rows);
    reset_console(*con, vc.get());
    write_console(*con, before.data(), static_cast<int32_t>(before.size()), 0);
  }
  std::string edit_line() { return zw::edit_line(*con, prompt); }
  std::string edit(const std::string& script) {
    press(*vc, script);
    return edit_line();
  }
};

TEST(LineEditor, EditingKeys) {
  struct Case {
    std::string script;
    std::string want_line;
    std::string want_row;  // row 0 after the call, prompt "P: " included
    int want_x;           // cursor column after the call, 0-based
    int want_beeps;
  };
  const Case cases[] = {
      {"\r", "", "P:", 3, 0},
      {"abc" + LEFT + LEFT + "X\r", "aXbc", "P: aXbc", 7, 0},
      {"\t\r", "        ", "P:", 11, 0},
      {"abc\t|\r", "abc     |", "P: abc     |", 12, 0},
      {"ab" + LEFT + "\t\r", "a       b", "P: a       b", 12, 0},
      {"\b\b\r", "", "P:", 3, 0},
      {"abc\b\r", "ab", "P: ab", 5, 0},
      {"abc" + HOME + RIGHT + "\b\r", "bc", "P: bc", 5, 0},
      {"abc" + DEL + "\r", "abc", "P: abc", 6, 1},
      {"abc" + HOME + DEL + "\r", "bc", "P: bc", 5, 0},
      {"abc" + HOME + RIGHT + DEL + END + "\r", "ac", "P: ac", 5, 0},
      {"hello" + LEFT + LEFT + "\x1b\r", "", "P:", 3, 0},
      {"\x1b\r", "", "P:", 3, 0},
      {"hello\x1bok\r", "ok", "P: ok", 5, 0},
      {"ab" + CTRL_ENTER, "ab", "P: ab", 5, 0},
      {"ab" + INSERT + PGUP + PGDN + F1 + "\r", "ab", "P: ab", 5, 0},
      {"ab" + HOME + END + "Z\r", "abZ", "P: abZ", 6, 0},
      {"ab" + HOME + RIGHT + "Z" + HOME + "\r", "aZb", "P: aZb", 6, 0},
      {"\x7f\xff\r", "\x7f\xff", "P: \x7f\xff", 5, 0},
      {"abc" + UP + DOWN + "\r", "abc", "P: abc", 6, 0},
      {"a" + LEFT + LEFT + RIGHT + RIGHT + RIGHT + "b\r", "ab", "P: ab", 5, 0},
  };
  for (const Case& c : cases) {
    Editor e(80, 25, "P: ");
    EXPECT_EQ(e.edit(c.script), c.want_line);
    EXPECT_EQ(e.vc->row(0), c.want_row);
    EXPECT_EQ(e.vc->cursor().x, c.want_x);
    EXPECT_EQ(e.vc->cursor().y, 0);
    EXPECT_EQ(static_cast<int>(e.vc->beeps.size()), c.want_beeps);
    EXPECT_TRUE(e.vc->cursor_visible());
  }
}

TEST(LineEditor, UpAndDownMoveByOneRowWithinTheLine) {
  Editor e(80, 25, "");
  const std::string hundred(100, 'x');
  // Up from the end (pos 100) goes to pos 20: insert there; Down returns.
  EXPECT_EQ(e.edit(hundred + UP + "A" + DOWN + "B\r"),
            std::string(20, 'x') + "A" + std::string(80, 'x') + "B");
  Editor f(80, 25, "");
  // Up with pos below 80 does nothing; Down when the line is too short too.
  EXPECT_EQ(f.edit("abc" + UP + DOWN + "Z\r"), "abcZ");
}

TEST(LineEditor, RestoresCursorVisibility) {
  Editor e(80, 25, "");
  set_cursor(*e.con, 0, 0, CursorVisibility::HIDE);
  e.edit("a\r");
  EXPECT_FALSE(e.vc->cursor_visible());
}

TEST(LineEditor, TypingIntoTheLastCellOfTheBottomRowScrolls) {
  Editor e(10, 3, "P: ");
  // The cursor on the bottom row; seven characters fill it to the last cell.
  set_cursor(*e.con, 3, 4, CursorVisibility::KEEP);
  EXPECT_EQ(e.edit("abcdefg\r"), "abcdefg");
  EXPECT_EQ(e.vc->row(0), "");  // the prompt's row went off the top
  EXPECT_EQ(e.vc->row(1), "   abcdefg");
  EXPECT_EQ(e.vc->row(2), "");
  EXPECT_EQ(e.vc->cursor().x, 0);
  EXPECT_EQ(e.vc->cursor().y, 2);
}

TEST(LineEditor, EnterAtTheLastColumnLeavesTheCursorOnTheNextRow) {
  Editor e(10, 3, "P: ");
  EXPECT_EQ(e.edit("abcdefg\r"), "abcdefg");
  EXPECT_EQ(e.vc->cursor().x, 0);
  EXPECT_EQ(e.vc->cursor().y, 1);
}

TEST(LineEditor, InsertNearTheStartOfAWrappedLineAtTheBottom) {
  // The line wraps onto the bottom row; an insert near its start pushes the
  // tail past the bottom, the view scrolls, and the cursor must stay just
  // after the inserted byte.
  Editor e(10, 3, "");
  set_cursor(*e.con, 2, 1, CursorVisibility::KEEP);
  EXPECT_EQ(e.edit("0123456789abcdefghi" + HOME + RIGHT + RIGHT + "X" + "Y\r"),
            "01XY23456789abcdefghi");
  EXPECT_EQ(e.vc->row(0), "01XY234567");
  EXPECT_EQ(e.vc->row(1), "89abcdefgh");
  EXPECT_EQ(e.vc->row(2), "i");
  EXPECT_EQ(e.vc->cursor().x, 1);
  EXPECT_EQ(e.vc->cursor().y, 2);
}

TEST(LineEditor, OnlyTheChangedTailIsRewrittenWithTheCursorHidden) {
  Editor e(80, 25, "P: ");
  press(*e.vc, std::string(40, 'x') + HOME + RIGHT + RIGHT + RIGHT);
  std::vector<std::string> calls;
  e.vc->on_wait = [&](VirtualConsole& vc) {
    if (!calls.empty() || vc.pending_events() != 0) return;
    vc.calls.clear();
    press(vc, DEL);
    calls.push_back("armed");
  };
  // After the Delete, stop at the next wait and look at what it did.
  e.vc->idle_wait_limit = 0;
  EXPECT_THROW(e.edit_line(), VirtualConsole::Starved);
  int cell_writes = 0;
  bool hidden_during_write = false;
  bool hidden = false;
  for (const std::string& c : e.vc->calls) {
    if (c == "write_cells") {
      ++cell_writes;
      hidden_during_write = hidden;
    }
    if (c == "set_cursor_info") hidden = !hidden;
  }
  // 36 bytes of tail and one blank: two runs on one row.
  EXPECT_EQ(cell_writes, 2);
  EXPECT_TRUE(hidden_during_write);
  EXPECT_EQ(e.vc->row(0), "P: xxx" + std::string(36, 'x'));
}

TEST(LineEditor, GoesOnFromWhereTheCursorIsFoundAfterAWait) {
  // Stopped and resumed while waiting: the shell moved the cursor to the
  // start of a lower row, and the port reports the resume as it reports a
  // size change (the size the same); typing goes on there, and Enter ends
  // after it.
  Editor e(80, 25, "P: ");
  bool moved = false;
  e.vc->type("ab");
  e.vc->on_wait = [&](VirtualConsole& vc) {
    if (moved || vc.pending_events() != 0) return;
    moved = true;
    vc.resize(80, 25);
    vc.move_cursor({0, 3});
    vc.type("c\r");
  };
  EXPECT_EQ(e.edit_line(), "abc");
  EXPECT_EQ(e.vc->row(3), "c");
  EXPECT_EQ(e.vc->cursor().x, 1);
  EXPECT_EQ(e.vc->cursor().y, 3);
}

// The screen's width changes while a wrapped line is edited (the virtual
// console keeps its rows, cut or padded): the prompt and the line are drawn
// again from where the prompt now starts, nothing of the old rows is left
// below, and the keys go on at the new width.
TEST(LineEditor, RedrawsPromptAndLineAtANewWidth) {
  const std::string typed = "abcdefghijklmnopqrstuvwxyz";  // from "> " it wraps at 20
  struct Case {
    const char* name;
    int width;
    std::vector<std::string> want_rows;  // rows 0..3 after Enter
    int want_x, want_y;
  };
  const Case cases[] = {
      {"wider", 30, {"> Yabcdefghijklmnopqrstuvwxyz", "", "", ""}, 29, 0},
      {"narrower", 12, {"> Yabcdefghi", "jklmnopqrstu", "vwxyz", ""}, 5, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Editor e(20, 5, "> ");
    e.vc->type(typed);
    bool resized = false;
    e.vc->on_wait = [&](VirtualConsole& vc) {
      if (resized || vc.pending_events() != 0) return;
      resized = true;
      vc.resize(c.width, 5);
      press(vc, HOME + "Y\r");
    };
    EXPECT_EQ(e.edit_line(), "Y" + typed);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(e.vc->row(y), c.want_rows[y]) << y;
    EXPECT_EQ(e.vc->cursor().x, c.want_x);
    EXPECT_EQ(e.vc->cursor().y, c.want_y);
  }
}

// A console window made taller or shorter by hand while a line is typed on
// its bottom row (no port reports it): the line goes on below the old
// bottom, or brings the window down with it, shown whole, and no earlier
// row leaves the buffer.
TEST(LineEditor, FollowsAConsoleWindowResizedByHand) {
  struct Case {
    const char* name;
    int16_t rows_after;
    int typed_before, typed_after;
  };
  const Case cases[] = {
      {"taller", 12, 10, 60},
      {"taller, past its new bottom", 10, 10, 80},
      {"shorter", 5, 10, 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto vc = std::make_unique<VirtualConsole>(20, 8, 40);
    auto con = std::make_unique<Console>();
    reset_console(*con, vc.get());
    const std::string earlier = "r0\r\nr1\r\nr2\r\nr3\r\nr4\r\nr5\r\nr6\r\nP: ";
    write_console(*con, earlier.data(), static_cast<int32_t>(earlier.size()), 0);
    std::string line;
    for (int i = 0; i < c.typed_before + c.typed_after; ++i) line.push_back(static_cast<char>('a' + i % 26));
    vc->type(line.substr(0, c.typed_before));
    bool resized = false;
    vc->on_wait = [&](VirtualConsole& v) {
      if (resized || v.pending_events() != 0) return;
      resized = true;
      v.place_window({0, 0, 19, static_cast<int16_t>(c.rows_after - 1)});
      v.type(line.substr(c.typed_before) + "\r");
    };
    EXPECT_EQ(edit_line(*con, "P: "), line);
    for (int y = 0; y < 7; ++y) EXPECT_EQ(vc->buffer_row(y).substr(0, 3), std::string("r0 r1 r2 r3 r4 r5 r6 ").substr(3 * y, 3));
    std::string shown;
    for (int y = 7; y < 7 + 5; ++y) shown += vc->buffer_row(y);
    EXPECT_EQ(shown.substr(0, 3), "P: ");
    EXPECT_EQ(shown.substr(3, line.size()), line);
    const SmallRect w = vc->window();
    EXPECT_EQ(w.bottom - w.top + 1, c.rows_after);
    const Coord at = vc->cursor();
    EXPECT_EQ(at.x + 20 * (at.y - 7), 3 + static_cast<int>(line.size()));
    EXPECT_TRUE(at.y >= w.top && at.y <= w.bottom) << at.y;
  }
}

TEST(LineEditor, WaitsThroughThePortBetweenKeys) {
  Editor e(80, 25, "");
  int arrived = 0;
  e.vc->on_wait = [&](VirtualConsole& vc) {
    if (++arrived == 3) vc.type("ok\r");
  };
  EXPECT_EQ(e.edit_line(), "ok");
  EXPECT_GE(e.vc->waits, 3);
}

}  // namespace
}  // namespace zw
