#include "platform/posix/terminal_screen.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace zw {
namespace {

std::vector<CharCell> cells(const std::string& text) {
  std::vector<CharCell> v;
  for (char c : text) v.push_back(CharCell{static_cast<uint8_t>(c), 7});
  return v;
}

// A 10 x 4 screen with the cursor at (0, 0); every case runs its operations
// and ends the update.
struct Case {
  const char* name;
  std::function<void(TerminalScreen&)> run;
  std::string want;
};

TEST(TerminalScreen, UpdatesAsTheTerminalReceivesThem) {
  const Case cases[] = {
      {"run then cursor back", [](TerminalScreen& s) {
         auto c = cells("ab");
         screen_write_cells(s, c.data(), 2, {3, 1});
       }, "\x1b[2;4Hab\x1b[1;1H"},
      {"consecutive runs need one placement", [](TerminalScreen& s) {
         auto c = cells("ab");
         screen_write_cells(s, c.data(), 2, {0, 2});
         screen_write_cells(s, c.data(), 2, {2, 2});
         screen_set_cursor(s, {4, 2});
       }, "\x1b[3;1Habab"},
      {"run cut at the row's end, cursor then unknown", [](TerminalScreen& s) {
         auto c = cells("abcdef");
         screen_write_cells(s, c.data(), 6, {7, 0});
         screen_set_cursor(s, {0, 1});
       }, "\x1b[1;8Habc\x1b[2;1H"},
      {"whole screen up: line feeds at the bottom row", [](TerminalScreen& s) {
         screen_scroll(s, {0, 2, 9, 3}, {0, 0}, {' ', 7});
       }, "\x1b[4;1H\n\n\x1b[1;1H"},
      {"band of rows up: inside a margin", [](TerminalScreen& s) {
         screen_scroll(s, {0, 1, 9, 2}, {0, 0}, {' ', 7});
       }, "\x1b[1;3r\x1b[3;1H\n\x1b[r\x1b[1;1H"},
      {"blank fill across rows, short of the screen's end", [](TerminalScreen& s) {
         screen_fill(s, ' ', 14, {5, 2});
       }, "\x1b[3;6H\x1b[5X\x1b[4;1H\x1b[9X\x1b[1;1H"},
      {"blank fill to the screen's end and past it: one erase", [](TerminalScreen& s) {
         screen_fill(s, ' ', 100, {5, 2});
       }, "\x1b[3;6H\x1b[J\x1b[1;1H"},
      {"control bytes as pictures", [](TerminalScreen& s) {
         auto c = cells(std::string("\0\x0b", 2));
         screen_write_cells(s, c.data(), 2, {0, 0});
       }, "\x1b[1;1H\xe2\x90\x80\xe2\x90\x8b\x1b[1;1H"},
      {"visibility sent when it changes", [](TerminalScreen& s) {
         screen_set_visible(s, false);
         screen_set_visible(s, false);
         screen_bell(s);
         screen_set_visible(s, true);
       }, "\x1b[?25l\a\x1b[?25h\x1b[1;1H"},
  };
  for (const Case& c : cases) {
    TerminalScreen s;
    reset_terminal_screen(s, TextMode::UTF8, 10, 4, {0, 0});
    c.run(s);
    finish_screen_update(s);
    EXPECT_EQ(s.out, c.want) << c.name;
  }
}

TEST(TerminalScreen, WhatATerminalCannotDoFails) {
  TerminalScreen s;
  reset_terminal_screen(s, TextMode::UTF8, 10, 4, {0, 0});
  const CharCell blank{' ', 7};
  auto c = cells("a");
  EXPECT_FALSE(screen_scroll(s, {2, 1, 9, 3}, {2, 0}, blank));  // part of a row
  EXPECT_FALSE(screen_scroll(s, {0, 0, 9, 2}, {0, 1}, blank));  // downwards
  EXPECT_FALSE(screen_write_cells(s, c.data(), 1, {10, 0}));
  EXPECT_FALSE(screen_write_cells(s, c.data(), 1, {0, 4}));
  EXPECT_FALSE(screen_set_cursor(s, {0, -1}));
  EXPECT_FALSE(screen_fill(s, ' ', 1, {0, 4}));
  EXPECT_EQ(s.out, "");
  // Rows below the screen (a region taller than a shrunken window) are
  // simply not there.
  EXPECT_TRUE(screen_scroll(s, {0, 5, 9, 8}, {0, 4}, blank));
  EXPECT_EQ(s.out, "");
}

TEST(TerminalScreen, ResizeKeepsTheCursorOnTheScreen) {
  TerminalScreen s;
  reset_terminal_screen(s, TextMode::UTF8, 80, 24, {79, 23});
  resize_terminal_screen(s, 40, 10);
  EXPECT_EQ(s.cursor.x, 39);
  EXPECT_EQ(s.cursor.y, 9);
  finish_screen_update(s);
  EXPECT_EQ(s.out, "\x1b[10;40H");
}

}  // namespace
}  // namespace zw
