#include "console/input/input_statement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

// A console whose typed line is `line` (the console road after the editor
// returned it), or whose standard input is `line` (the piped road).
struct Input {
  std::unique_ptr<VirtualConsole> vc = std::make_unique<VirtualConsole>(80, 25, 25);
  std::unique_ptr<Console> con = std::make_unique<Console>();
  Input(const std::string& line, bool piped) {
    vc->redirect_output(true);
    reset_console(*con, vc.get());
    if (piped) {
      vc->redirect_input(line);
      input_prompt(*con, "ignored", QuestionMark::OMIT, AfterLine::NEW_LINE);
    } else {
      con->input.source = InputSource::LINE;
      con->input.line = line;
      con->input.pos = 0;
    }
  }
  double number() {
    double d = -12345;
    input_double(*con, &d);
    return d;
  }
  std::string text() {
    TextItem item;
    item.length = 3;
    std::memcpy(item.bytes, "old", 3);
    input_text(*con, &item);
    return std::string(item.view());
  }
};

std::string str(double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

TEST(InputStatement, NumberItems) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::string line;
    double want;
  };
  const Case cases[] = {
      {"3,5", 3},           {"1,5", 1},            {"1.5", 1.5},
      {".5", 0.5},          {"  7  ", 7},          {"7 8", 7},
      {"12abc", 12},        {"-5", -5},            {"+5", 5},
      {"-1.5e2", -150},     {"- 5", 0},            {"abc", 0},
      {"", 0},              {"1e3", 1000},         {"1E3", 1000},
      {"1d3", 1000},        {"1D3", 1000},         {"2.5E-1", 0.25},
      {"&HFF", 255},        {"&hff", 255},         {"&O17", 15},
      {"&17", 15},          {"&B101", 5},          {"&B102", 2},
      {"&H", 0},            {"&", 0},              {"&9", 0},
      {"-&HFF", 0},         {"&HFFFFFFFF", 4294967295.0},
      {"&HFFFFFFFFFFFFFFFF", -1},                  {"&H10000000000000000", 0},
      {"&H1.5", 1},         {"&HD", 13},           {"&H1d", 29},
      {"inf", 0},           {"nan", 0},            {"0x10", 0},
      {"0x1p3", 0},         {"1e999", inf},        {"-1e999", -inf},
      {"0x1.8p1", 3},       {"inf.", inf},         {"-infinity.", -inf},
      {"12345678901234567890", 12345678901234567890.0},
      {"123456789", 123456789},                    {"-12345678", -12345678},
      {"123456789012345678", 123456789012345678.0},
      {"-12345678901234567", -12345678901234567.0},
      {std::string(70, '9'), 1e67 - 1},            // 67 digits taken
      {"\"12\"", 12},       {"\"1 2\"", 1},        {"\"1,5\"", 1},
      {"\"1\"2", 12},       {"1.5.5", 1.5},        {"\t9", 9},
      {"0.1", 0.1},         {"-0.0", -0.0},        {"1e-400", 0},
      {"4.9406564584124654e-324", 4.9406564584124654e-324},
      {"-0", 0},            {"-", 0},              {"-x5", 0},
      {"999999999", 999999999},                    {"-99999999999999999", -99999999999999999.0},
      {std::string("12\0" "3", 4), 12},
      {"9007199254740993e0", 9007199254740992.0},  {"9007199254740995e0", 9007199254740996.0},
  };
  for (const Case& c : cases) {
    for (bool piped : {false, true}) {
      Input in(c.line, piped);
      const double got = in.number();
      EXPECT_EQ(str(got), str(c.want)) << "line: " << c.line << (piped ? " (piped)" : "");
      EXPECT_EQ(std::signbit(got), std::signbit(c.want)) << c.line;
    }
  }
}

TEST(InputStatement, NanItemKeepsItsSign) {
  Input a("nan.", false);
  const double p = a.number();
  EXPECT_TRUE(std::isnan(p));
  EXPECT_FALSE(std::signbit(p));
  Input b("-nan.", false);
  const double n = b.number();
  EXPECT_TRUE(std::isnan(n));
  EXPECT_TRUE(std::signbit(n));
}

TEST(InputStatement, TextItems) {
  struct Case {
    std::string line;
    std::string want;
  };
  const Case cases[] = {
      {"  hello", "hello"},
      {"hello  ", "hello  "},
      {"a,b", "a"},
      {"\"a,b\"", "a,b"},
      {"\"a,b", "a,b"},
      {"\"ab\"cd", "ab"},
      {"ab\"cd\"", "ab\"cd\""},
      {"\"\"", ""},
      {"x\xffy", "x\xffy"},
      {"1d3", "1d3"},
      {"a\tb", "a\tb"},
      {"", ""},
      {std::string("ab\0cd", 5), "ab"},
      {"\"BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES",
       "BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES"},
      {std::string(5000, 'q'), std::string(4096, 'q')},
  };
  for (const Case& c : cases) {
    for (bool piped : {false, true}) {
      Input in(c.line, piped);
      EXPECT_EQ(in.text(), c.want) << "line: " << c.line << (piped ? " (piped)" : "");
    }
  }
}

TEST(InputStatement, PipedItemsFollowOneAnotherThroughTheStream) {
  struct Case {
    std::string input;
    std::vector<std::string> want;  // items taken as texts in order
  };
  const Case cases[] = {
      {"+,3,4\n", {"+", "3", "4", ""}},
      {"12 34\n", {"12 34", ""}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d", ""}},
      {"a\r", {"a", ""}},
      {"\"ab\"  ,cd", {"ab", "cd"}},
      {"\"ab\"  x", {"ab", "x"}},
      {std::string(4100, 'z') + ",y", {std::string(4096, 'z'), "zzzz", "y"}},
  };
  for (const Case& c : cases) {
    Input in(c.input, true);
    for (const std::string& want : c.want) EXPECT_EQ(in.text(), want) << c.input;
  }
}

// Bytes past the read block's end (left from an earlier, longer read) never
// join an item, however number-like; an item cut by the block's end goes on
// in the next read.
TEST(InputStatement, PipedNumbersStopAtTheReadBlocksEnd) {
  struct Case {
    std::string stale;  // the block's bytes, of which only `length` were read
    size_t length;
    std::string next;  // what the next reads bring
    std::vector<double> want;
  };
  const Case cases[] = {
      {"5999999999999999,", 1, "", {5, 0}},
      {"12345678.5,", 3, "4,", {1234, 0}},
      {"-7.25e2,1,", 2, ".5\n", {-7.5, 0}},
      {"1,2345678901234567.8,", 3, "", {1, 2, 0}},
      {"0.125,9.75e-3,", 6, "3,", {0.125, 3}},
      {"7\r\n8,", 2, "\n9,", {7, 9}},     // CR at the block's end takes the LF of the next read
      {"7  ,8,", 2, " ,9,", {7, 9}},       // blanks after an item go on in the next read
      {"  3,", 2, " 4,5", {4, 5}},         // and blanks before one
      {"6\r,", 2, "5,", {6, 5}},           // a CR alone ends the item too
  };
  for (const Case& c : cases) {
    Input in("", true);
    InputContext& block = in.con->input;
    std::memcpy(block.block, c.stale.data(), c.stale.size());
    block.block_pos = 0;
    block.block_len = c.length;
    in.vc->redirect_input(c.next);
    for (double want : c.want) EXPECT_EQ(str(in.number()), str(want)) << c.stale;
  }
}

// Piped numbers exactly halfway between two doubles, where they lie in the
// read block: no scaling road can decide them, and the library does (ties
// to even).
TEST(InputStatement, PipedNumbersNoRoadDecidesGoToTheLibrary) {
  Input in("0,9007199254740993e0,9007199254740995e0\n", true);
  EXPECT_EQ(in.number(), 0);  // the first item reads the block
  EXPECT_EQ(str(in.number()), str(9007199254740992.0));
  EXPECT_EQ(str(in.number()), str(9007199254740996.0));
}

TEST(InputStatement, PipedItemsSplitAsTypedOnes) {
  // A line of items with the bytes that end, quote or mark them at every
  // place, long enough to be scanned many bytes at a time when piped: the
  // piped road must split it as the typed line's road does.
  const char alphabet[] = "\",&\t dDeE.x17-+\r\n";
  uint64_t seed = 0x2545F4914F6CDD1Dull;
  auto next = [&seed] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return seed >> 33;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string line;
    const int items = 1 + static_cast<int>(next() % 4);
    for (int i = 0; i < items; ++i) {
      const int length = static_cast<int>(next() % 90);
      const int odd = next() % 3 == 0 ? static_cast<int>(next() % 90) : -1;  // one odd byte, or none
      if (next() % 4 == 0) line += next() % 2 ? " " : "\t ";
      for (int j = 0; j < length; ++j) {
        line += j == odd ? alphabet[next() % (sizeof alphabet - 1)] : static_cast<char>('0' + next() % 10);
      }
      if (next() % 4 == 0) line += next() % 2 ? " " : "\r";
      if (next() % 4 == 0) line += '\0';
      line += ',';
    }
    Input piped(line, true);
    Input typed(line, false);
    for (int i = 0; i <= items + 1; ++i) {
      if ((round + i) % 2) {
        ASSERT_EQ(piped.text(), typed.text()) << line;
      } else {
        ASSERT_EQ(str(piped.number()), str(typed.number())) << line;
      }
    }
  }
}

TEST(InputStatement, PipedNumbersGiveBackTheByteAfterTheirBlanks) {
  Input in("12 34\n7   x,9\n", true);
  EXPECT_EQ(in.number(), 12);
  EXPECT_EQ(in.number(), 34);
  EXPECT_EQ(in.number(), 7);
  EXPECT_EQ(in.text(), "x");
  EXPECT_EQ(in.number(), 9);
  EXPECT_EQ(in.number(), 0);
  EXPECT_FALSE(read_ahead(*in.con));
}

TEST(InputStatement, LongNumberItemLeavesItsRestForTheNextItem) {
  Input in(std::string(67, '1') + "234\n", true);
  EXPECT_EQ(str(in.number()), str(std::strtod(std::string(67, '1').c_str(), nullptr)));
  EXPECT_EQ(in.number(), 234);
}

}  // namespace
}  // namespace zw
