#include "console/output/print_statement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "console/console.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

TEST(PrintColumn, FollowsLastLineBreakAndWrapsAtWidth) {
  struct Case {
    int32_t column;
    std::string bytes;
    int32_t width;
    int32_t want;
  };
  const Case cases[] = {
      {0, "abc", 80, 3},
      {10, "ab\r\nhello", 80, 5},
      {10, "ab\rxy", 80, 2},
      {10, "ab\n", 80, 0},
      {0, std::string(85, 'x'), 80, 5},
      {79, "x", 80, 0},
      {3, "\t\b\a", 80, 6},  // every byte counts as a column
      {5, "", 80, 5},
      {100, "x", 0, 101},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(column_after(c.column, c.bytes.data(), static_cast<int32_t>(c.bytes.size()), c.width),
              c.want)
        << c.bytes;
  }
}

TEST(PrintZones, PadToNextZoneOrEndTheLine) {
  struct Case {
    int32_t column, width, want;  // want 0: a line end instead of blanks
  };
  const Case cases[] = {
      {0, 80, 14},  {9, 80, 5},   {14, 80, 14}, {54, 80, 2},  {55, 80, 1},
      {56, 80, 0},  {65, 80, 0},  {79, 80, 0},  {97, 120, 1}, {98, 120, 0},
      {84, 120, 14}, {5, 13, 9},  {12, 13, 2},  {200, 0, 10}, {0, 14, 0},
      {0, 28, 0},   {0, 29, 14},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zone_padding(c.column, c.width), c.want) << c.column << " of " << c.width;
  }
}

// Redirected output, written through the port or (with `block`) straight
// into the block the port keeps.
struct Printed {
  std::unique_ptr<VirtualConsole> vc = std::make_unique<VirtualConsole>(80, 25, 25);
  std::unique_ptr<Console> con = std::make_unique<Console>();
  explicit Printed(bool block = false) {
    vc->redirect_output(true);
    vc->keep_output_block(block);
    reset_console(*con, vc.get());
  }
};

TEST(PrintStatement, ItemsAndEndActionsOnRedirectedOutput) {
  struct Step {
    bool number;
    std::string text;
    double value;
    int mask;
  };
  struct Case {
    std::vector<Step> steps;
    std::string want;
    int32_t column;
  };
  const Case cases[] = {
      {{{false, "", 0, 1}}, "\r\n", 0},
      {{{false, "", 0, 0}}, "", 0},
      {{{false, "", 0, 2}}, std::string(14, ' '), 14},
      {{{false, "abcdefghijklmn", 0, 2}}, "abcdefghijklmn" + std::string(14, ' '), 28},
      {{{false, "abc", 0, 3}}, "abc\r\n", 0},
      {{{false, "abc", 0, 5}}, "abc\r\n", 0},
      {{{false, "abc", 0, 8}}, "abc", 3},
      {{{false, "Summe: ", 0, 0}, {true, "", 3, 1}}, "Summe:  3\r\n", 0},
      {{{false, "Differenz: ", 0, 0}, {true, "", -2.5, 1}}, "Differenz: -2.5\r\n", 0},
      {{{false, std::string(56, 'x'), 0, 2}}, std::string(56, 'x') + "\r\n", 0},
      {{{false, std::string(55, 'x'), 0, 2}}, std::string(55, 'x') + " ", 56},
      {{{false, "ab\r\n12345", 0, 0}}, "ab\r\n12345", 5},
  };
  for (const bool block : {false, true}) {
    for (const Case& c : cases) {
      Printed p(block);
      for (const Step& s : c.steps) {
        if (s.number) {
          print_double(*p.con, 0, s.value, s.mask);
        } else {
          print_text(*p.con, 0, s.text, s.mask);
        }
      }
      EXPECT_EQ(p.vc->output(), c.want) << block;
      EXPECT_EQ(p.con->device.print_column, c.column) << c.want;
      EXPECT_EQ(p.con->device.line_width, 80);
    }
  }
}

// A result line is the text without an end action, then the number with a
// line end, on every road: texts too long for the one write, texts with
// line breaks, a column left mid-line before it.
TEST(PrintStatement, ResultLineIsTextThenNumberLine) {
  struct Case {
    std::string before, text;
    double value;
  };
  const Case cases[] = {
      {"", "Summe: ", 5},
      {"abc", "Ergebnis: ", -0.1},
      {"", std::string(40, 'y'), 1e300},
      {"", "a\r\nb", 2.5},
      {std::string(75, 'x'), "Quotient: ", 1234567.891},
  };
  enum class Road { CONSOLE, PORT, BLOCK };
  for (const Road road : {Road::BLOCK, Road::PORT, Road::CONSOLE}) {
    for (const Case& c : cases) {
      Printed want, got;
      for (Printed* p : {&want, &got}) {
        p->vc->redirect_output(road != Road::CONSOLE);
        p->vc->keep_output_block(road == Road::BLOCK);
        reset_console(*p->con, p->vc.get());
        print_text(*p->con, 0, c.before, 0);
      }
      print_text(*want.con, 0, c.text, 0);
      print_double(*want.con, 0, c.value, END_LINE);
      print_result_line(*got.con, 0, c.text, c.value);
      EXPECT_EQ(got.vc->output(), want.vc->output()) << c.text;
      for (int row = 1; row <= 3; ++row) EXPECT_EQ(got.vc->row(row), want.vc->row(row)) << c.text;
      EXPECT_EQ(got.con->device.print_column, want.con->device.print_column) << c.text;
    }
  }
}

// Result lines past the block's end: the block handed on when full, every
// byte in order; a device that fails drops what comes after, and the column
// goes on as if it had not.
TEST(PrintStatement, ResultLinesIntoAFullOrFailedBlock) {
  Printed piped;
  Printed block(true);
  for (int i = 0; i < 8000; ++i) {
    for (Printed* p : {&piped, &block}) print_result_line(*p->con, 0, "Quotient: ", i / 7.0);
  }
  EXPECT_GT(block.vc->output().size(), OUTPUT_BLOCK);
  EXPECT_EQ(block.vc->output(), piped.vc->output());
  EXPECT_LT(std::count(block.vc->calls.begin(), block.vc->calls.end(), "write_bytes"), 5);

  Printed failing(true);
  failing.vc->fail.write_bytes = true;
  for (int i = 0; i < 3000; ++i) print_result_line(*failing.con, 0, "Quotient: ", i / 7.0);
  print_text(*failing.con, 0, "ab", 0);
  EXPECT_EQ(failing.vc->output(), "");
  EXPECT_EQ(failing.con->device.print_column, 2);
  EXPECT_EQ(failing.con->last_error, 0);
}

TEST(PrintStatement, OtherDevicesWriteNothing) {
  Printed p;
  print_text(*p.con, 3, "abc", END_LINE);
  print_double(*p.con, -1, 1, END_LINE);
  EXPECT_EQ(p.vc->output(), "");
  EXPECT_EQ(p.con->last_error, 1);
  print_text(*p.con, 0, "x", 0);
  EXPECT_EQ(p.con->last_error, 0);
}

}  // namespace
}  // namespace zw
