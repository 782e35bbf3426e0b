#include "console/input/line_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace zw {
namespace {

// Where real terminals put the cursor when the screen they were drawn on
// got narrower: rows written by cursor placement, 80 columns wide, the
// prompt's row on row 6 (full) and the cursor on row 7 after 73 cells, then
// the window made 50 (and 40) columns wide. Read off each terminal.
TEST(LineLayout, PromptFoundWhereEachTerminalPutsIt) {
  struct Case {
    const char* terminals;
    int32_t width;       // the new width
    CursorPos reported;  // where the terminal then had the cursor
    int32_t prompt_row;  // where the prompt's row went
  };
  const Case cases[] = {
      {"tmux, GNU screen, VTE, alacritty: wrapped, cursor's row kept", 50, {24, 7}, 4},
      {"kitty, foot: wrapped, top row kept", 50, {24, 9}, 6},
      {"konsole, xterm.js: rows above wrapped, the cursor's cut", 50, {50, 8}, 6},
      {"xterm, st, mlterm, rxvt-unicode (no scrollback): cut", 50, {50, 7}, 6},
      {"tmux at 40", 40, {34, 7}, 4},
      {"kitty at 40", 40, {34, 9}, 6},
      {"konsole at 40", 40, {40, 8}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.terminals);
    const LineBefore before{80, 24, {74, 7}, 1, 153, 1};
    uint8_t habits = ALL_RESIZE_HABITS;
    const CursorPos prompt = locate_line(before, {c.width, 24}, c.reported, &habits).prompt;
    EXPECT_EQ(prompt.row, c.prompt_row);
    EXPECT_EQ(prompt.column, 1);
  }
}

// Where the cursor cannot tell (it stays left of the new width, on the
// same row), the way a terminal showed at an earlier change decides, or
// what its port knows; one never seen is taken to wrap. A cursor just after its row's cells at a
// multiple of the new width is shown by tmux at the end of the last piece.
TEST(LineLayout, WhatEarlierChangesShowedDecides) {
  struct Step {
    LineBefore before;
    ScreenSize now;
    CursorPos reported;
    int32_t prompt_row;
  };
  const LineBefore ambiguous{80, 24, {10, 7}, 1, 89, 1};  // cursor in column 10 of the row below the prompt's
  const LineBefore at_end{100, 10, {81, 4}, 0, 80, 1};   // 80 cells on the prompt's row, the cursor after them
  const uint8_t any = ALL_RESIZE_HABITS;
  const struct {
    const char* name;
    uint8_t habits;
    std::vector<Step> steps;
  } cases[] = {
      {"never seen: wrapped", any, {{ambiguous, {40, 24}, {10, 7}, 5}}},
      {"the port says it cuts", resize_habits_for(RowsOnResize::CUT), {{ambiguous, {40, 24}, {10, 7}, 6}}},
      {"the port says it wraps, the cursor that it cuts", resize_habits_for(RowsOnResize::WRAPPED),
       {{{80, 24, {74, 7}, 1, 153, 1}, {50, 24}, {50, 7}, 6}, {ambiguous, {40, 24}, {10, 7}, 6}}},
      {"cut before: cut", any, {{{80, 24, {74, 7}, 1, 153, 1}, {50, 24}, {50, 7}, 6}, {ambiguous, {40, 24}, {10, 7}, 6}}},
      {"kept its top before: wrapped", any, {{{80, 24, {74, 7}, 1, 153, 1}, {50, 24}, {24, 9}, 6},
                                        {ambiguous, {40, 20}, {10, 7}, 5}}},
      {"height changed too: only the column speaks", any, {{ambiguous, {40, 30}, {10, 9}, 7}}},
      {"cursor at the end of a piece", any, {{at_end, {40, 10}, {40, 4}, 3}}},
      {"cursor at the start of the next row, top kept", any, {{at_end, {40, 10}, {1, 6}, 4}}},
      {"wider: rows stay", any, {{{40, 24, {5, 12}, 2, 84, 1}, {80, 24}, {5, 12}, 10}}},
      {"a column off: the nearest way", any, {{{80, 24, {74, 7}, 1, 153, 1}, {50, 24}, {25, 7}, 4}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t habits = c.habits;
    for (const Step& step : c.steps) {
      EXPECT_EQ(locate_line(step.before, step.now, step.reported, &habits).prompt.row, step.prompt_row);
    }
  }
}

// GNU screen joins the rows it wrapped itself at the next change, though
// the program wrote on them since: at 40 columns a line of 80 and 31 cells
// became four rows, was drawn again there as 40, 40 and 32, and at 80 the
// first two are one row again. Read off GNU screen 4.9.
TEST(LineLayout, RowsTheTerminalWrappedItselfJoinAgain) {
  struct Case {
    const char* name;
    uint8_t habits;
    LineBefore before;
    ScreenSize now;
    CursorPos reported;
    int32_t prompt_row;
    uint32_t continued;  // afterwards
  };
  const uint8_t screen = resize_habits_for(RowsOnResize::WRAPPED_FOR_GOOD);
  const uint8_t others = resize_habits_for(RowsOnResize::WRAPPED);
  const Case cases[] = {
      {"narrower: the prompt's row wrapped in two, marked", screen, {80, 24, {32, 12}, 1, 111, 1, 0}, {40, 24},
       {32, 12}, 10, 1},
      {"wider again: the marked rows joined", screen, {40, 24, {33, 12}, 2, 112, 1, 1}, {80, 24}, {33, 12}, 11, 0},
      {"wider again at tmux: nothing joined", others, {40, 24, {33, 12}, 2, 112, 1, 1}, {80, 24}, {33, 12}, 10, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t habits = c.habits;
    const LineAfter after = locate_line(c.before, c.now, c.reported, &habits);
    EXPECT_EQ(after.prompt.row, c.prompt_row);
    EXPECT_EQ(after.continued, c.continued);
  }
}

// A prompt that starts inside its row moves with the row's cells.
TEST(LineLayout, PromptInsideItsRow) {
  uint8_t habits = ALL_RESIZE_HABITS;
  const CursorPos wrapped = locate_line({80, 24, {74, 7}, 1, 153, 61}, {50, 24}, {24, 7}, &habits).prompt;
  EXPECT_EQ(wrapped.column, 11);
  EXPECT_EQ(wrapped.row, 5);
  habits = ALL_RESIZE_HABITS;
  const CursorPos cut = locate_line({80, 24, {74, 7}, 1, 153, 61}, {50, 24}, {50, 7}, &habits).prompt;
  EXPECT_EQ(cut.column, 50);
  EXPECT_EQ(cut.row, 6);
}

}  // namespace
}  // namespace zw
