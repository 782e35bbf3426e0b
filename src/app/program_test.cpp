// The whole program on the virtual console: keys in, screen rows out.
#include "app/program.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "calc/calculator.h"
#include "console/console.h"
#include "testing/calculator_test_texts.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

struct Session {
  std::unique_ptr<VirtualConsole> vc;
  std::unique_ptr<Console> con = std::make_unique<Console>();
  Session(int width, int rows, int buffer_rows) {
    vc = std::make_unique<VirtualConsole>(width, rows, buffer_rows);
    runtime_init(*con, vc.get());
  }
  ~Session() { remove_ctrl_handler(*con); }
  // Types each chunk only once the keys before it have been taken, as a
  // person types while the program waits.
  void type_in_turn(std::vector<std::string> chunks) {
    auto next = std::make_shared<size_t>(0);
    vc->on_wait = [chunks, next](VirtualConsole& v) {
      if (v.pending_events() == 0 && *next < chunks.size()) v.type(chunks[(*next)++]);
    };
  }
  void run() { run_calculator(*con); }
  std::vector<std::string> rows(int from, int count) const {
    std::vector<std::string> r;
    for (int y = from; y < from + count; ++y) r.push_back(vc->row(y));
    return r;
  }
};

using Rows = std::vector<std::string>;

TEST(ConsoleSession, OneCycleTypedKeyByKeyThenEscape) {
  Session s(80, 25, 300);
  s.type_in_turn({"+\r", "2\r", "3\r\x1b"});
  s.run();
  Rows want = expected_start_rows();
  want.insert(want.end(), {"Operation: +", "Nummmer 1: 2", "Nummmer 2: 3", "Summe:  5", ""});
  EXPECT_EQ(s.rows(0, 13), want);
  EXPECT_EQ(s.vc->pending_events(), 0u);
  // The cursor stands at the start of the row below the result.
  EXPECT_EQ(s.vc->cursor().x, 0);
  EXPECT_EQ(s.vc->cursor().y, 12);
  EXPECT_TRUE(s.vc->processed_input);
}

TEST(ConsoleSession, MenuAt120Columns) {
  Session s(120, 25, 300);
  s.type_in_turn({"\r", "\r", "\r\x1b"});
  s.run();
  EXPECT_EQ(s.rows(3, 4),
            (Rows{" + (Plus)      - (Minus)     x (Mal)       / (Geteilt)   h (Hoch)      "
                  "kd (Kreis-Dm)               kr (Kreis-r)",
                  " ku (Kreis-U)  kf (Kreis-F)  qu (Quadrat-U)              qf (Quadrat-F)    "
                  "          ru (Rechteck-U)",
                  " rf (Rechteck-F)", ""}));
  EXPECT_EQ(s.vc->row(7), "Operation:");
}

TEST(ConsoleSession, CyclesAndKeysAtTheEndOfACycle) {
  struct Case {
    std::vector<std::string> keys;  // typed in turn
    Rows want;                      // rows after the start texts
  };
  const Case cases[] = {
      // A one-number code asks once; "h" uses the last result.
      {{"+\r", "2\r", "3\r", "h\r", "2\r\x1b"},
       {"Operation: +", "Nummmer 1: 2", "Nummmer 2: 3", "Summe:  5", "Operation: h",
        "Nummmer 1: 2", "Ergebnis:  25", ""}},
      // Escape inside a line only clears it; the key after a cycle that is
      // not Escape is taken and lost.
      {{"kx\x1bkd\r", "4\rZ", "-\r", "5\r", "1\r\x1b"},
       {"Operation: kd", "Nummmer 1: 4", "Ergebnis:  8", "Operation: -", "Nummmer 1: 5",
        "Nummmer 2: 1", "Differenz:  4", ""}},
      // No code: both prompts, nothing printed, the next prompt right below.
      {{"X\r", "1\r", "2\r\x1b"}, {"Operation: X", "Nummmer 1: 1", "Nummmer 2: 2", ""}},
      {{"\"BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES\r", "1\r", "2\r\x1b"},
       {"Operation: \"BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES",
        "Nummmer 1: 1", "Nummmer 2: 2", "Sie ist Definitiv 10.5*4", ""}},
      {{"/\r", "0\r", "0\r\x1b"}, {"Operation: /", "Nummmer 1: 0", "Nummmer 2: 0", "Quotient: -nan", ""}},
      // All typed ahead: of the keys waiting at the end of a cycle the poll
      // takes the oldest alone ("-"), the Enter after it ends an empty code.
      {{"+\r2\r3\r-\r7\r1\r\x1b"},
       {"Operation: +", "Nummmer 1: 2", "Nummmer 2: 3", "Summe:  5", "Operation:", "Nummmer 1: 7",
        "Nummmer 2: 1", ""}},
  };
  for (const Case& c : cases) {
    Session s(80, 25, 300);
    s.type_in_turn(c.keys);
    s.run();
    EXPECT_EQ(s.rows(8, static_cast<int>(c.want.size())), c.want) << c.keys[0];
  }
}

TEST(ConsoleSession, CloseKeyIsTakenLikeAnyExtendedKey) {
  Session s(80, 25, 300);
  bool sent = false;
  s.vc->type("+\r");
  s.vc->on_wait = [&](VirtualConsole& vc) {
    if (sent || vc.pending_events() != 0) return;
    sent = true;
    // Closing the console while the editor waits: the editor ignores the
    // close key, and the session goes on.
    EXPECT_TRUE(vc.send_ctrl_event(ConsoleEvent::CLOSE));
    vc.type("7\r1\r\x1b");
  };
  s.run();
  EXPECT_TRUE(sent);
  EXPECT_EQ(s.rows(8, 4), (Rows{"Operation: +", "Nummmer 1: 7", "Nummmer 2: 1", "Summe:  8"}));
  EXPECT_FALSE(s.vc->send_ctrl_event(ConsoleEvent::CTRL_C));
}

TEST(ConsoleSession, OutputAtTheBottomMovesTheWindowDownThroughTheBuffer) {
  Session s(80, 25, 300);
  std::vector<std::string> keys;
  for (int i = 0; i < 10; ++i) keys.insert(keys.end(), {"+\r", std::to_string(i) + "\r", "1\r"});
  keys.back() += "\x1b";
  s.type_in_turn(keys);
  s.run();
  // 8 start rows + 10 cycles of 4 rows: the window's last row is the one
  // below the last result, and nothing above was lost from the buffer.
  EXPECT_EQ(s.vc->window().top, 48 - 24);
  EXPECT_EQ(s.vc->row(23), "Summe:  10");
  EXPECT_EQ(s.vc->buffer_row(0).substr(0, 29), "### Zahlwerk-ZW ### V.1.1 ###");
  EXPECT_EQ(s.vc->cursor().y, 48);
}

TEST(ConsoleSession, WithTheWindowAtTheBufferEndTheBufferScrolls) {
  Session s(80, 25, 25);
  std::vector<std::string> keys;
  for (int i = 0; i < 10; ++i) keys.insert(keys.end(), {"+\r", std::to_string(i) + "\r", "1\r"});
  keys.back() += "\x1b";
  s.type_in_turn(keys);
  s.run();
  EXPECT_EQ(s.vc->window().top, 0);
  EXPECT_EQ(s.vc->row(23), "Summe:  10");
  EXPECT_EQ(s.vc->row(24), "");
  EXPECT_EQ(s.vc->row(0), "Operation: +");
  EXPECT_EQ(s.vc->row(1), "Nummmer 1: 4");
}

TEST(ConsoleSession, RedirectedOutputWithTypedInput) {
  for (const bool block : {false, true}) {
    Session s(80, 25, 25);
    s.vc->redirect_output(true);
    s.vc->keep_output_block(block);
    runtime_init(*s.con, s.vc.get());
    s.type_in_turn({"+\r", "2\r", "3\r\x1b"});
    s.run();
    // The typed lines are echoed through the writer's redirected road too.
    EXPECT_NE(s.vc->output().find("Operation: +\r\nNummmer 1: 2\r\nNummmer 2: 3\r\nSumme:  5\r\n"),
              std::string::npos)
        << block;
  }
}

}  // namespace
}  // namespace zw
