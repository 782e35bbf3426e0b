// The built program on a pseudo-terminal, its screen read through a real
// terminal emulator, keys typed as the escape sequences terminals send.
#include <gtest/gtest.h>

#ifdef ZW_HAVE_VTERM

#include <dirent.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/terminal_guard.h"
#include "platform/posix/terminal_handshake.h"
#include "platform/posix/terminal_keys.h"
#include "support/pty_harness.h"

namespace {

using zw::e2e::Options;
using zw::e2e::same_settings;
using zw::e2e::Terminal;

// Texts placed at columns, as the print zones place the menu.
std::string at_columns(const std::vector<std::pair<int, std::string>>& items) {
  std::string s;
  for (const auto& [column, text] : items) {
    s.resize(static_cast<size_t>(column), ' ');
    s += text;
  }
  return s;
}

const std::vector<std::string> START_80 = {
    "### Zahlwerk-ZW ### V.1.1 ###",
    "###Kommandozeilenparameter###",
    "",
    at_columns({{0, " + (Plus)"}, {14, " - (Minus)"}, {28, " x (Mal)"}, {42, " / (Geteilt)"}, {56, " h (Hoch)"}}),
    at_columns({{0, " kd (Kreis-Dm)"}, {28, " kr (Kreis-r)"}, {42, " ku (Kreis-U)"}, {56, " kf (Kreis-F)"}}),
    at_columns({{0, " qu (Quadrat-U)"}, {28, " qf (Quadrat-F)"}, {56, " ru (Rechteck-U)"}}),
    " rf (Rechteck-F)",
    "",
    "Operation:",
};

const std::vector<std::string> START_120 = {
    "### Zahlwerk-ZW ### V.1.1 ###",
    "###Kommandozeilenparameter###",
    "",
    at_columns({{0, " + (Plus)"}, {14, " - (Minus)"}, {28, " x (Mal)"}, {42, " / (Geteilt)"}, {56, " h (Hoch)"},
                {70, " kd (Kreis-Dm)"}, {98, " kr (Kreis-r)"}}),
    at_columns({{0, " ku (Kreis-U)"}, {14, " kf (Kreis-F)"}, {28, " qu (Quadrat-U)"}, {56, " qf (Quadrat-F)"},
                {84, " ru (Rechteck-U)"}}),
    " rf (Rechteck-F)",
    "",
    "Operation:",
};

// Milliseconds since `start`.
long long millis_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// Ends the program with Escape after one more cycle; it must exit with 0
// and leave the terminal as it found it.
void finish_with_escape(Terminal& t) {
  ASSERT_TRUE(t.wait_for([&] { return t.row(t.cursor().row) == "Operation:" && t.cursor().col == 11; }))
      << t.screen();
  t.type("+\r1\r1\r\x1b");
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status)) << t.screen();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
  EXPECT_TRUE(t.cursor_visible());
}

// The line `text` typed after "Operation: " from column 0 of row `first`,
// as it shows on a screen `width` columns wide.
std::vector<std::string> wrapped(const std::string& text, int width) {
  const std::string line = "Operation: " + text;
  std::vector<std::string> rows;
  for (size_t i = 0; i < line.size(); i += static_cast<size_t>(width)) rows.push_back(line.substr(i, width));
  return rows;
}

TEST(TerminalProgram, StartTextsAndMenu) {
  struct Case {
    int columns;
    const std::vector<std::string>* want;
  };
  for (const Case& c : {Case{80, &START_80}, Case{120, &START_120}}) {
    Options o;
    o.columns = c.columns;
    Terminal t(o);
    const int prompt_row = static_cast<int>(c.want->size()) - 1;
    ASSERT_TRUE(t.wait_for_row(prompt_row, "Operation:")) << t.screen();
    for (int y = 0; y < static_cast<int>(c.want->size()); ++y) EXPECT_EQ(t.row(y), (*c.want)[y]) << c.columns;
    EXPECT_EQ(t.cursor().row, prompt_row);
    EXPECT_EQ(t.cursor().col, 11);
    // Raw input while the program runs.
    EXPECT_EQ(t.settings().c_lflag & (ECHO | ICANON), 0u);
    EXPECT_NE(t.settings().c_lflag & ISIG, 0u);
    finish_with_escape(t);
  }
}

TEST(TerminalProgram, WholeCycles) {
  Options o;
  o.earlier_output = "$ zahlwerk\r\n";
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_row(9, "Operation:")) << t.screen();
  EXPECT_EQ(t.row(0), "$ zahlwerk");
  EXPECT_EQ(t.row(1), START_80[0]);
  const char* cycles[] = {"+\r2\r3\r", "-\r2\r3\r", "x\r4\r2.5\r", "h\r2\r", "kf\r1\r"};
  int n = 1;
  for (const char* keys : cycles) {
    ASSERT_TRUE(t.wait_for_prompt(n++)) << t.all_text();
    t.type(keys);
  }
  ASSERT_TRUE(t.wait_for_prompt(n)) << t.all_text();
  const std::vector<std::string> want = {
      "Operation: +", "Nummmer 1: 2", "Nummmer 2: 3", "Summe:  5",
      "Operation: -", "Nummmer 1: 2", "Nummmer 2: 3", "Differenz: -1",
      "Operation: x", "Nummmer 1: 4", "Nummmer 2: 2.5", "Produkt:  10",
      "Operation: h", "Nummmer 1: 2", "Ergebnis:  100",
      "Operation: kf", "Nummmer 1: 1", "Ergebnis:  6.283185307179586",
      "Operation:",
  };
  // The screen has scrolled: compare the end of the transcript.
  const std::vector<std::string> lines = t.transcript();
  std::vector<std::string> tail;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == "Operation: +") {
      tail.assign(lines.begin() + static_cast<long>(i), lines.end());
      break;
    }
  }
  while (!tail.empty() && tail.back().empty()) tail.pop_back();
  EXPECT_EQ(tail, want) << t.all_text();
  finish_with_escape(t);
}

// Each case types keys at the first "Operation: " prompt, then Enter; the
// row shows the line as edited and, for a code, the cycle computes with it.
TEST(TerminalProgram, EditingKeys) {
  struct Case {
    const char* name;
    std::vector<std::string> keys;  // typed one after another
    std::string echo;               // the prompt row after Enter
    std::string result;             // "" when the line is no code
    int bells;
  };
  const Case cases[] = {
      {"left and insert", {"d", "\x1b[D", "k"}, "Operation: kd", "Ergebnis:  4", 0},
      {"left in application mode", {"d", "\x1bOD", "k"}, "Operation: kd", "Ergebnis:  4", 0},
      {"home, xterm", {"f", "\x1b[H", "k"}, "Operation: kf", "Ergebnis:  12.56637061435917", 0},
      {"home, tmux and linux", {"u", "\x1b[1~", "q"}, "Operation: qu", "Ergebnis:  8", 0},
      {"home, rxvt", {"f", "\x1b[7~", "q"}, "Operation: qf", "Ergebnis:  4", 0},
      {"home, application", {"r", "\x1bOH", "k"}, "Operation: kr", "Ergebnis:  1", 0},
      {"end in three forms", {"u", "\x1b[H", "\x1b[F", "\x1b[H", "\x1b[4~", "\x1b[H", "\x1bOF", "x"},
       "Operation: ux", "", 0},
      {"right", {"kd", "\x1b[H", "\x1b[C", "\x1b[C", "+"}, "Operation: kd+", "", 0},
      {"backspace as 127 and as 8", {"ab", "\x7f", "\b", "+"}, "Operation: +", "Summe:  5", 0},
      {"backspace at the start", {"\x7f", "+"}, "Operation: +", "Summe:  5", 0},
      {"delete", {"qxf", "\x1b[D", "\x1b[D", "\x1b[3~"}, "Operation: qf", "Ergebnis:  4", 0},
      {"delete at the end beeps", {"+", "\x1b[3~"}, "Operation: +", "Summe:  5", 1},
      {"tab", {"ab", "\x1b[H", "\t"}, "Operation: " + std::string(8, ' ') + "ab", "", 0},
      {"keys that change nothing",
       {"+", "\x1b[2~", "\x1b[5~", "\x1b[6~", "\x1bOP", "\x1b[15~", "\x1b[1;5D", "\x1b" "a", "\x1b[Z"},
       "Operation: +", "Summe:  5", 0},
      {"unknown sequences vanish whole", {"+", "\x1b[99~", "\x1b[1;5Y", "\x1b[?7u", "\x1bO~"}, "Operation: +",
       "Summe:  5", 0},
      {"mouse reports vanish whole: x10, sgr, urxvt", {"\x1b[M 4%", "+", "\x1b[<0;3;4M", "\x1b[32;3;4M"},
       "Operation: +", "Summe:  5", 0},
  };
  for (const Case& c : cases) {
    Terminal t(Options{});
    ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << c.name << "\n" << t.screen();
    // One write, as a terminal sends keys typed in a burst.
    std::string keys;
    for (const std::string& k : c.keys) keys += k;
    t.type(keys + "\r");
    ASSERT_TRUE(t.wait_for_text("Nummmer 1:")) << c.name << "\n" << t.screen();
    EXPECT_EQ(t.row(8), c.echo) << c.name;
    t.type("2\r");
    if (c.result.empty() || c.result.find("Summe") != std::string::npos) t.type("3\r");
    if (!c.result.empty()) {
      EXPECT_TRUE(t.wait_for_text(c.result)) << c.name << "\n" << t.screen();
    } else {
      EXPECT_TRUE(t.wait_for_text("Nummmer 2: 3\n")) << c.name << "\n" << t.screen();
    }
    EXPECT_EQ(t.bells(), c.bells) << c.name;
    finish_with_escape(t);
  }
}

// The program's memory stays flat however much is pasted.
TEST(TerminalProgram, APasteKeepsMemoryFlat) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.type("+\r");
  ASSERT_TRUE(t.wait_for_row(9, "Nummmer 1:")) << t.screen();
  const long before = t.peak_rss_kib();
  // An AddressSanitizer build holds freed memory back (up to 256 MiB) and
  // runs slower: there the paste is smaller and memory goes unmeasured.
#if defined(__SANITIZE_ADDRESS__)
  constexpr size_t PASTE = 256 << 10;
  constexpr long LIMIT_KIB = 1 << 20;
#else
  constexpr size_t PASTE = 4 << 20;
  constexpr long LIMIT_KIB = 2 << 10;
#endif
  // Into a number's line, which takes 67 characters and beeps at the rest.
  t.paste(std::string(PASTE, '7'));
  t.type("\r3\r");
  ASSERT_TRUE(t.wait_for_text("Summe:")) << t.screen();
  const long grown = t.peak_rss_kib() - before;
  EXPECT_LT(grown, LIMIT_KIB) << "peak RSS " << before << " KiB before the paste";
  finish_with_escape(t);
}

// At a local terminal a lone Escape is settled after the shortest deadline;
// the time to the cleared line is recorded (the screen is polled every
// 10 ms).
TEST(TerminalProgram, EscapeClearsTheLine) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.type("abcde");
  ASSERT_TRUE(t.wait_for_row(8, "Operation: abcde"));
  t.type("\x1b[D\x1b[D");
  ASSERT_TRUE(t.wait_for([&] { return t.cursor().col == 14; })) << t.screen();
  const auto start = std::chrono::steady_clock::now();
  t.type("\x1b");  // a lone Escape: settled when no byte follows
  ASSERT_TRUE(t.wait_for([&] { return t.row(8) == "Operation:" && t.cursor().col == 11; })) << t.screen();
  RecordProperty("escape_to_cleared_ms", static_cast<int>(millis_since(start)));
  t.type("+\r2\r3\r");
  EXPECT_TRUE(t.wait_for_text("Summe:  5")) << t.screen();
  finish_with_escape(t);
}

TEST(TerminalProgram, UpAndDownOnAWrappedLine) {
  std::string digits;
  for (int i = 0; i < 100; ++i) digits.push_back(static_cast<char>('0' + i % 10));
  struct Case {
    const char* name;
    std::string keys;
    std::string want;
  };
  const Case cases[] = {
      {"up, insert, down, insert", digits + "\x1b[A" "X" "\x1b[B" "Y",
       digits.substr(0, 20) + "X" + digits.substr(20) + "Y"},
      {"application-mode arrows", digits + "\x1bOA" "X" "\x1bOB" "Y",
       digits.substr(0, 20) + "X" + digits.substr(20) + "Y"},
      {"up on the first row does nothing", "ab\x1b[AX", "abX"},
      {"down short of a row does nothing", digits.substr(0, 90) + "\x1b[H\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C"
                                               "\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C\x1b[B" "Z",
       digits.substr(0, 11) + "Z" + digits.substr(11, 79)},
  };
  for (const Case& c : cases) {
    Terminal t(Options{});
    ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
    t.type(c.keys);
    t.type("\r");
    ASSERT_TRUE(t.wait_for_text("Nummmer 1:")) << c.name << "\n" << t.screen();
    const std::vector<std::string> rows = wrapped(c.want, 80);
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(t.row(8 + static_cast<int>(i)), rows[i]) << c.name;
    t.type("1\r1\r");
    finish_with_escape(t);
  }
}

TEST(TerminalProgram, LongLineEditedNearItsStart) {
  std::string text;
  for (int i = 0; i < 150; ++i) text.push_back(static_cast<char>('a' + i % 26));
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.type(text);
  ASSERT_TRUE(t.wait_for_row(9, wrapped(text, 80)[1])) << t.screen();
  t.type("\x1b[H\x1b[C\x1b[CZZ\x1b[3~\x7f");  // Home, Right, Right, ZZ, Delete, Backspace
  const std::string want = text.substr(0, 2) + "Z" + text.substr(3);
  const std::vector<std::string> rows = wrapped(want, 80);
  ASSERT_TRUE(t.wait_for([&] { return t.row(8) == rows[0] && t.cursor().row == 8 && t.cursor().col == 14; }))
      << t.screen();
  EXPECT_EQ(t.row(9), rows[1]);
  EXPECT_EQ(t.row(10), rows[2]);
  EXPECT_EQ(t.row(11), "");
  t.type("\r1\r1\r");
  ASSERT_TRUE(t.wait_for_text("Nummmer 2: 1")) << t.screen();
  finish_with_escape(t);
}

TEST(TerminalProgram, ScrollsAtTheBottomIntoTheScrollback) {
  Options o;
  for (int i = 0; i < 20; ++i) o.earlier_output += "shell line " + std::to_string(i) + "\r\n";
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_row(23, "Operation:")) << t.screen();
  t.type("+\r2\r3\r");
  ASSERT_TRUE(t.wait_for_prompt(2)) << t.screen();
  EXPECT_EQ(t.row(22), "Summe:  5");
  // Everything that was on the screen is still there, in order, above.
  std::vector<std::string> want;
  for (int i = 0; i < 20; ++i) want.push_back("shell line " + std::to_string(i));
  want.insert(want.end(), START_80.begin(), START_80.end() - 1);
  for (const char* line : {"Operation: +", "Nummmer 1: 2", "Nummmer 2: 3", "Summe:  5", "Operation:"})
    want.push_back(line);
  EXPECT_EQ(t.transcript(), want) << t.all_text();

  // A character typed into the last cell of the bottom row scrolls by one
  // row and leaves the cursor at the start of the bottom row.
  const std::string fill(69, 'w');
  t.type(fill);
  ASSERT_TRUE(t.wait_for([&] {
    return t.row(22) == "Operation: " + fill && t.cursor().row == 23 && t.cursor().col == 0;
  })) << t.screen();
  EXPECT_EQ(t.row(23), "");
  t.type("\r1\r1\r");
  ASSERT_TRUE(t.wait_for_text("Nummmer 2: 1")) << t.screen();
  finish_with_escape(t);
}

TEST(TerminalProgram, Utf8CharactersTakeOneCellEach) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  // a-umlaut, euro sign, an arrow (not in the code page: no key), o-umlaut;
  // Left, u-umlaut.
  t.type("\xc3\xa4\xe2\x82\xac\xe2\x86\x92\xc3\xb6\x1b[D\xc3\xbc");
  // The cursor stands on the o-umlaut: one cell per character.
  ASSERT_TRUE(t.wait_for([&] {
    return t.row(8) == "Operation: \xc3\xa4\xe2\x82\xac\xc3\xbc\xc3\xb6" && t.cursor().col == 14;
  })) << t.screen();
  t.type("\x1b[H\x1b[C\x1b[3~");  // Home, Right, Delete: the euro sign goes
  ASSERT_TRUE(t.wait_for([&] { return t.row(8) == "Operation: \xc3\xa4\xc3\xbc\xc3\xb6" && t.cursor().col == 12; }))
      << t.screen() << t.cursor().col;
  t.type("\r1\r1\r");
  ASSERT_TRUE(t.wait_for_text("Nummmer 2: 1")) << t.screen();
  finish_with_escape(t);
}

// In a locale that names no encoding but ASCII (C, none, one that does not
// exist) the terminal's own is found out: at a UTF-8 terminal and at one
// that takes a byte a cell alike, a typed character is one key, one byte of
// the line and one cell, as in a UTF-8 locale; the probe leaves no trace
// under the banner.
TEST(TerminalProgram, TheLineShowsAsTypedInEveryLocale) {
  struct Case {
    const char* locale;
    bool utf8;  // the terminal decodes UTF-8
  };
  const Case cases[] = {{"de_DE.UTF-8", true}, {"C", true},  {"", true},
                        {"xx_YY.UTF-8", true}, {"C", false}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("LANG=") + c.locale + (c.utf8 ? " at a UTF-8 terminal" : " at a Latin-1 terminal"));
    Options o;
    o.locale = c.locale;
    o.utf8 = c.utf8;
    o.earlier_output = "$ zahlwerk\r\n";
    Terminal t(o);
    ASSERT_TRUE(t.wait_for_prompt(1)) << t.screen();
    EXPECT_EQ(t.row(1), START_80[0]);
    const std::string a_umlaut = c.utf8 ? "\xc3\xa4" : "\xe4";
    // "1ä2", Backspace, Home, "ab", End, "5".
    t.type("1" + a_umlaut + "2\x7f\x1b[Hab\x1b[F5");
    ASSERT_TRUE(t.wait_for([&] { return t.row(9) == "Operation: ab1\xc3\xa4" "5" && t.cursor().col == 16; }))
        << t.screen() << "cursor at " << t.cursor().col;
    t.type("\r1\r1\r");
    ASSERT_TRUE(t.wait_for_text("Nummmer 2: 1")) << t.screen();
    finish_with_escape(t);
  }
}

// SIGCONT, then (once a key typed after it has been echoed and taken back
// with Backspace) `keys`.
void continue_then(Terminal& t, const std::string& keys) {
  ::kill(t.program(), SIGCONT);
  t.type("1");
  ASSERT_TRUE(t.wait_for_row(8, "Operation: 1")) << t.screen();
  t.type("\x7f" + keys);
}

TEST(TerminalProgram, WaysToEndGiveTheTerminalBack) {
  struct Case {
    const char* name;
    std::function<void(Terminal&)> end;
    int signal;  // 0: exits with status 0
  };
  const Case cases[] = {
      {"escape after a cycle", [](Terminal& t) { t.type("+\r1\r2\r\x1b"); }, 0},
      {"ctrl+c at the prompt", [](Terminal& t) { t.type("12\x03"); }, SIGINT},
      {"ctrl+c while the cursor is hidden", [](Terminal& t) { t.type(std::string(300, 'z') + "\x1b[H\x03"); },
       SIGINT},
      {"ctrl+backslash", [](Terminal& t) { t.type("\x1c"); }, SIGQUIT},
      {"sigterm", [](Terminal& t) { ::kill(t.program(), SIGTERM); }, SIGTERM},
      {"sighup", [](Terminal& t) { ::kill(t.program(), SIGHUP); }, SIGHUP},
      {"a crash", [](Terminal& t) { ::kill(t.program(), SIGSEGV); }, SIGSEGV},
      {"an abort", [](Terminal& t) { ::kill(t.program(), SIGABRT); }, SIGABRT},
      // A resume that followed no stop (or a stop the program could not
      // see) must not make the raw settings the ones to give back.
      {"sigcont without a stop, then escape", [](Terminal& t) { continue_then(t, "+\r1\r2\r\x1b"); }, 0},
      {"sigcont without a stop, then ctrl+c", [](Terminal& t) { continue_then(t, "12\x03"); }, SIGINT},
      {"sigstop, sigcont, escape",
       [](Terminal& t) {
         ::kill(t.program(), SIGSTOP);
         int status = -1;
         ASSERT_TRUE(t.wait_status(&status) && WIFSTOPPED(status));
         continue_then(t, "+\r1\r2\r\x1b");
       },
       0},
      // One of the other signals that end the process (the terminal
      // guard's own test takes each of them), while the cursor is hidden.
      {"sigalrm while the cursor is hidden",
       [](Terminal& t) {
         t.type(std::string(300, 'z') + "\x1b[H");
         ASSERT_TRUE(t.wait_for([&] { return t.cursor().row == 8 && t.cursor().col == 11; })) << t.screen();
         ::kill(t.program(), SIGALRM);
       },
       SIGALRM},
  };
  for (const Case& c : cases) {
    Terminal t(Options{});
    ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << c.name << "\n" << t.screen();
    c.end(t);
    int status = -1;
    ASSERT_TRUE(t.wait_end(&status)) << c.name;
    if (c.signal == 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name << " status " << status;
    } else if (c.signal == SIGSEGV || c.signal == SIGABRT) {
      // A sanitizer's handler may end the process its own way.
      EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0)) << c.name;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << c.name << " status " << status;
    }
    EXPECT_TRUE(same_settings(t.settings(), t.settings_before())) << c.name;
    EXPECT_TRUE(t.cursor_visible()) << c.name;
  }
}

TEST(TerminalProgram, CtrlZStopsWithTheTerminalGivenBack) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.type("+");
  // (Ctrl+Z makes the terminal drop what has not been read yet.)
  ASSERT_TRUE(t.wait_for_row(8, "Operation: +")) << t.screen();
  t.type("\x1a");
  int status = -1;
  ASSERT_TRUE(t.wait_status(&status));
  ASSERT_TRUE(WIFSTOPPED(status)) << "status " << status;
  EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
  ::kill(t.program(), SIGCONT);
  // Raw again, and the line goes on where it was.
  ASSERT_TRUE(t.wait_for([&] { return (t.settings().c_lflag & ECHO) == 0; }));
  t.type("\r2\r3\r");
  ASSERT_TRUE(t.wait_for_text("Summe:  5")) << t.screen();
  EXPECT_EQ(t.row(8), "Operation: +");
  finish_with_escape(t);
}

// A terminal that speaks the kitty keyboard protocol: keys arrive as its
// reports, press and release. `c` pressed and let go, as it reports a
// character key with its text.
std::string kitty_tap(char c) {
  const std::string code = std::to_string(static_cast<int>(c));
  return "\x1b[" + code + ";;" + code + "u\x1b[" + code + ";1:3u";
}
const std::string KITTY_ENTER = "\x1b[13u\x1b[13;1:3u";
const std::string KITTY_ESCAPE = "\x1b[27u\x1b[27;1:3u";
// A cycle with Escape waiting behind it: the program ends.
const std::string KITTY_LAST_CYCLE =
    kitty_tap('+') + KITTY_ENTER + kitty_tap('1') + KITTY_ENTER + kitty_tap('1') + KITTY_ENTER + KITTY_ESCAPE;
// Left Ctrl held with a key: the control key's press, the key's, both let go.
std::string kitty_ctrl(char c) {
  const std::string code = std::to_string(static_cast<int>(c));
  return "\x1b[57442;5u\x1b[" + code + ";5u\x1b[" + code + ";5:3u\x1b[57442;1:3u";
}

TEST(TerminalProgram, KittyKeysWithoutGuessing) {
  Options o;
  o.kitty_keyboard = true;
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  ASSERT_TRUE(t.wait_for([&] { return t.keyboard_flags() == 31; }));
  // Escape and a letter in one read: the line is cleared, the letter typed.
  t.type(kitty_tap('7') + kitty_tap('7'));
  ASSERT_TRUE(t.wait_for_row(8, "Operation: 77")) << t.screen();
  t.type("\x1b[27u\x1b[104;;104u\x1b[27;1:3u\x1b[104;1:3u");
  ASSERT_TRUE(t.wait_for_row(8, "Operation: h")) << t.screen();
  // Alt held while keypad 6 and 5 are typed (Num Lock on) enters "A" when
  // it is let go.
  t.type(KITTY_ESCAPE + "\x1b[57443;129u\x1b[57405;131u\x1b[57405;131:3u\x1b[57404;131u\x1b[57404;131:3u"
         "\x1b[57443;129:3u");
  ASSERT_TRUE(t.wait_for_row(8, "Operation: A")) << t.screen();
  // A paste still comes as bytes.
  t.type(KITTY_ESCAPE + "+" + KITTY_ENTER + "2\r" + kitty_tap('3') + KITTY_ENTER + KITTY_ESCAPE);
  ASSERT_TRUE(t.wait_for_text("Summe:  5")) << t.screen();
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status)) << t.screen();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(t.wait_for([&] { return t.keyboard_flags() == 0 && t.keyboard_pushes() == 0; }));
}

// Every way out pops the flags, once: the shell never gets the protocol.
// Ctrl+C, Ctrl+\ and Ctrl+Z arrive as key reports and still signal.
TEST(TerminalProgram, KittyFlagsPoppedOnEveryWayOut) {
  struct Case {
    const char* name;
    std::function<void(Terminal&)> end;
    int signal;  // 0: exits with status 0
  };
  const Case cases[] = {
      {"escape", [](Terminal& t) { t.type(KITTY_LAST_CYCLE); }, 0},
      {"ctrl+c", [](Terminal& t) { t.type(kitty_tap('1') + kitty_ctrl('c') + kitty_tap('2')); }, SIGINT},
      {"ctrl+backslash", [](Terminal& t) { t.type(kitty_ctrl('\\')); }, SIGQUIT},
      {"sigterm", [](Terminal& t) { ::kill(t.program(), SIGTERM); }, SIGTERM},
      {"sighup", [](Terminal& t) { ::kill(t.program(), SIGHUP); }, SIGHUP},
      {"sigusr1", [](Terminal& t) { ::kill(t.program(), SIGUSR1); }, SIGUSR1},
      {"sigcont without a stop, then escape",
       [](Terminal& t) {
         ::kill(t.program(), SIGCONT);
         t.type(kitty_tap('1'));
         ASSERT_TRUE(t.wait_for_row(8, "Operation: 1")) << t.screen();
         t.type(KITTY_ESCAPE + KITTY_LAST_CYCLE);
       },
       0},
      {"ctrl+z, fg, escape",
       [](Terminal& t) {
         t.type(kitty_ctrl('z'));
         int status = -1;
         ASSERT_TRUE(t.wait_status(&status) && WIFSTOPPED(status)) << status;
         EXPECT_TRUE(t.wait_for([&] { return t.keyboard_flags() == 0; }));
         EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
         ::kill(t.program(), SIGCONT);
         ASSERT_TRUE(t.wait_for([&] { return t.keyboard_flags() == 31; }));
         t.type(kitty_tap('4'));
         ASSERT_TRUE(t.wait_for_row(8, "Operation: 4")) << t.screen();
         t.type(KITTY_ESCAPE + KITTY_LAST_CYCLE);
       },
       0},
  };
  for (const Case& c : cases) {
    Options o;
    o.kitty_keyboard = true;
    Terminal t(o);
    ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << c.name << "\n" << t.screen();
    ASSERT_TRUE(t.wait_for([&] { return t.keyboard_flags() == 31; })) << c.name;
    c.end(t);
    int status = -1;
    ASSERT_TRUE(t.wait_end(&status)) << c.name;
    if (c.signal == 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name << " status " << status;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << c.name << " status " << status;
    }
    EXPECT_TRUE(t.wait_for([&] { return t.keyboard_flags() == 0 && t.keyboard_pushes() == 0; }))
        << c.name << ": flags " << t.keyboard_flags() << ", pushes " << t.keyboard_pushes();
    EXPECT_TRUE(same_settings(t.settings(), t.settings_before())) << c.name;
  }
}

// Whether every process of process group `group` is stopped.
bool group_stopped(pid_t group) {
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return false;
  bool stopped = true;
  while (const dirent* e = ::readdir(proc)) {
    const std::string path = std::string("/proc/") + e->d_name + "/stat";
    FILE* f = std::isdigit(static_cast<unsigned char>(e->d_name[0])) ? std::fopen(path.c_str(), "r") : nullptr;
    if (f == nullptr) continue;
    char state = 0;
    int parent = 0, pgrp = 0;
    // pid (name) state ppid pgrp: the name may hold blanks, the state follows its ")".
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    const char* after = read ? std::strrchr(line, ')') : nullptr;
    if (after == nullptr || std::sscanf(after + 1, " %c %d %d", &state, &parent, &pgrp) != 3) continue;
    if (pgrp == group && state != 'T') stopped = false;
  }
  ::closedir(proc);
  return stopped;
}

// With the keyboard protocol on, Ctrl+C, Ctrl+\\ and Ctrl+Z reach the whole
// foreground job, as the terminal's own keys do: the script that started
// the program ends or stops with it, and goes on after fg.
TEST(TerminalProgram, KittySignalKeysReachTheWholeJob) {
  struct Case {
    char key;
    int signal;
  };
  for (const Case& c : {Case{'c', SIGINT}, Case{'\\', SIGQUIT}, Case{'z', SIGTSTP}}) {
    SCOPED_TRACE(std::string("ctrl+") + c.key);
    Options o;
    o.kitty_keyboard = true;
    o.shell_command = "\"$ZW\"; echo after $?";
    Terminal t(o);
    ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
    ASSERT_TRUE(t.wait_for([&] { return t.keyboard_flags() == 31; }));
    t.type(kitty_ctrl(c.key));
    int status = -1;
    ASSERT_TRUE(t.wait_status(&status)) << "the script goes on\n" << t.screen();
    // (The script may end or stop a moment before the program has given
    // the terminal back.)
    EXPECT_TRUE(t.wait_for([&] { return same_settings(t.settings(), t.settings_before()); }));
    if (c.signal != SIGTSTP) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << "status " << status;
      EXPECT_EQ(t.all_text().find("after"), std::string::npos) << t.screen();
      continue;
    }
    ASSERT_TRUE(WIFSTOPPED(status)) << "status " << status;
    // As a shell does for fg, the job is continued once all of it stopped.
    ASSERT_TRUE(t.wait_for([&] { return group_stopped(t.program()); }));
    ::kill(-t.program(), SIGCONT);
    ASSERT_TRUE(t.wait_for([&] { return t.keyboard_flags() == 31; }));
    t.type(KITTY_LAST_CYCLE);
    ASSERT_TRUE(t.wait_end(&status)) << t.screen();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(t.wait_for_text("after 0")) << t.screen();
  }
}

// A job stopped with Ctrl+Z and killed from the shell (kill %1, which also
// sends SIGCONT) ends at once: it is no longer the terminal's foreground job,
// so it neither writes to the terminal nor sets it, and leaves the shell's
// settings alone.
TEST(TerminalProgram, AStoppedJobKilledFromTheShellEndsAtOnce) {
  for (const char* sig : {"TERM", "HUP"}) {
    SCOPED_TRACE(sig);
    Options o;
    o.shell_command = std::string("set -m; \"$ZW\"; kill -") + sig + " %1; kill -CONT %1; "
                      "for i in 1 2 3 4 5 6 7 8 9; do wait %1; s=$?; [ $s = 148 ] || break; sleep 0.1; done; "
                      "echo ended $s";
    Terminal t(o);
    ASSERT_TRUE(t.wait_for_prompt(1)) << t.screen();
    t.type("\x1a");
    const std::string want = std::string("ended ") + (sig[0] == 'T' ? "143" : "129");
    ASSERT_TRUE(t.wait_for_text(want)) << t.all_text();
    int status = -1;
    ASSERT_TRUE(t.wait_end(&status)) << t.screen();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
  }
}

// Whether process `pid` is inside a write(2) call.
bool in_write(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/syscall";
  FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return false;
  long nr = -1;
  const bool read = std::fscanf(f, "%ld", &nr) == 1;
  std::fclose(f);
  return read && nr == SYS_write;
}

// A signal that ends the program while the terminal takes no output (not
// read, or stopped by Ctrl+S) ends it at once: the settings are given back,
// and the restore bytes are dropped rather than waited for.
TEST(TerminalProgram, WaysOutDoNotWaitForAStoppedTerminal) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    Terminal t(Options{});
    ASSERT_TRUE(t.wait_for_prompt(1)) << t.screen();
    t.stop_output();
    t.type("1");
    ASSERT_TRUE(t.wait_for([&] { return in_write(t.program()); }));
    ::kill(t.program(), sig);
    int status = -1;
    ASSERT_TRUE(t.wait_end(&status)) << "the program waits for its output";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
    EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
    t.start_output();
  }
}

TEST(TerminalProgram, ClosingTheTerminalEndsTheProgram) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.type("12");
  ASSERT_TRUE(t.wait_for_row(8, "Operation: 12"));
  t.hang_up();
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST(TerminalProgram, ClosingTheTerminalEndsTheInputLikeTheEndOfAStream) {
  // The line being typed counts, as a stream's last line does without its
  // line end; the cycle is finished and its output handed on.
  Options o;
  o.output_to_file = true;
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_raw());
  t.type("+\r2\r3");
  ASSERT_TRUE(t.wait_for([&] { return t.output_file().find("Nummmer 2: 3") != std::string::npos; }))
      << t.output_file();
  t.hang_up();
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  const std::string out = t.output_file();
  EXPECT_NE(out.find("Nummmer 2: 3\r\nSumme:  5\r\n"), std::string::npos) << out;
}

TEST(TerminalProgram, KeysTypedBeforeTheCursorReportAreKept) {
  Terminal t(Options{});
  t.hold_answers();
  ASSERT_TRUE(t.wait_for([&] { return t.answers_held(); }));
  t.type("+\r2\r");
  t.release_answers();
  t.type("3\r");
  ASSERT_TRUE(t.wait_for_text("Summe:  5")) << t.screen();
  EXPECT_EQ(t.row(8), "Operation: +");
  finish_with_escape(t);
}

// More than a piece's worth typed before the start-up answers arrive: the
// answers are still read past it, so the keyboard protocol goes on and the
// program starts below the shell's line; the keys are kept, in order.
TEST(TerminalProgram, AnswersBehindKeysTypedAheadAreStillTaken) {
  std::string keys;
  for (int i = 0; i < 1500; ++i) keys += "a\x7f";
  keys += "+\r2\r3\r";
  for (bool kitty : {false, true}) {
    SCOPED_TRACE(kitty ? "keyboard protocol" : "plain keys");
    Options o;
    o.kitty_keyboard = kitty;
    o.earlier_output = "$ zahlwerk\r\n";
    Terminal t(o);
    t.hold_answers();
    ASSERT_TRUE(t.wait_for([&] { return t.answers_held(); }));
    t.type(keys);
    t.release_answers();
    ASSERT_TRUE(t.wait_for_text("Summe:  5")) << t.screen();
    EXPECT_EQ(t.row(0), "$ zahlwerk") << t.screen();
    EXPECT_EQ(t.row(1), START_80[0]) << t.screen();
    EXPECT_EQ(t.row(9), "Operation: +") << t.screen();
    EXPECT_EQ(t.keyboard_flags(), kitty ? 31 : 0);
    ASSERT_TRUE(t.wait_for_prompt(2)) << t.screen();
    t.type(kitty ? KITTY_LAST_CYCLE : "+\r1\r1\r\x1b");
    int status = -1;
    ASSERT_TRUE(t.wait_end(&status)) << t.screen();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
}

// Ctrl+C while the start-up answers are on their way, however late they
// come after it (a slow link): the program collects them before it gives
// the terminal back, so none reaches the shell. At a terminal that never
// answers, it waits no longer than its bound for them.
TEST(TerminalProgram, CtrlCDuringTheStartUpWaitLeavesNoAnswerForTheShell) {
  struct Case {
    bool kitty;
    int later_ms;  // the answers come this long after Ctrl+C; -1: never
  };
  for (const Case& c :
       {Case{false, 0}, Case{true, 0}, Case{false, 300}, Case{false, 800}, Case{true, 800}, Case{false, -1}}) {
    SCOPED_TRACE(std::string(c.kitty ? "keyboard protocol" : "plain keys") + ", answers " +
                 std::to_string(c.later_ms) + " ms after Ctrl+C");
    Options o;
    o.kitty_keyboard = c.kitty;
    o.answer_requests = c.later_ms >= 0;
    Terminal t(o);
    t.hold_answers();
    ASSERT_TRUE(t.wait_for([&] { return c.later_ms < 0 ? t.wait_for_raw() : t.answers_held(); }));
    const auto start = std::chrono::steady_clock::now();
    t.type("\x03");
    t.pause(std::max(c.later_ms, 0));
    t.release_answers();
    int status = -1;
    ASSERT_TRUE(t.wait_end(&status));
    if (c.later_ms < 0) {
      EXPECT_LT(millis_since(start), zw::ANSWER_COLLECT_MS + 1000);
      RecordProperty("ctrl_c_to_end_ms", static_cast<int>(millis_since(start)));
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
    EXPECT_EQ(t.pending_input(), "");
    EXPECT_EQ(t.all_text().find("^["), std::string::npos) << t.screen();
    EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
  }
}

// A terminal that answers the device attributes request and no cursor
// request: the start-up wait ends with that answer, not at its bound.
TEST(TerminalProgram, ATerminalThatAnswersOnlyTheAttributesStartsAtOnce) {
  Options o;
  o.answer_cursor_requests = false;
  const auto start = std::chrono::steady_clock::now();
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_row(23, "Operation:")) << t.screen();
  const long long took = millis_since(start);
  EXPECT_LT(took, zw::ANSWER_WAIT_MS);
  RecordProperty("start_to_prompt_ms", static_cast<int>(took));
  finish_with_escape(t);
}

// Ctrl+Z while the start-up answers are on their way, and fg a while later:
// the program asks again on resume, starts below the shell's line and turns
// the keyboard protocol on.
TEST(TerminalProgram, CtrlZDuringTheStartUpWaitAsksAgainOnResume) {
  Options o;
  o.kitty_keyboard = true;
  o.earlier_output = "$ zahlwerk\r\n";
  Terminal t(o);
  t.hold_answers();
  ASSERT_TRUE(t.wait_for([&] { return t.answers_held(); }));
  t.type("\x1a");
  int status = -1;
  ASSERT_TRUE(t.wait_status(&status) && WIFSTOPPED(status)) << status;
  // Stopped for longer than the program waits for an answer.
  t.pause(700);
  ::kill(t.program(), SIGCONT);
  ASSERT_TRUE(t.wait_for([&] { return t.reports_held() == 2; }));
  t.release_answers();
  ASSERT_TRUE(t.wait_for_prompt(1)) << t.screen();
  EXPECT_EQ(t.row(0), "$ zahlwerk") << t.screen();
  EXPECT_EQ(t.row(1), START_80[0]) << t.screen();
  EXPECT_EQ(t.keyboard_flags(), 31);
  t.type(KITTY_LAST_CYCLE);
  ASSERT_TRUE(t.wait_end(&status)) << t.screen();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST(TerminalProgram, ATerminalThatDoesNotAnswerStillWorks) {
  Options o;
  o.answer_requests = false;
  o.earlier_output = "$ zahlwerk\r\n";
  Terminal t(o);
  // Without an answer the cursor is taken to be at the start of the bottom
  // row: the output scrolls up from there.
  ASSERT_TRUE(t.wait_for_row(23, "Operation:")) << t.screen();
  for (int y = 0; y < 9; ++y) EXPECT_EQ(t.row(15 + y), START_80[y]);
  EXPECT_EQ(t.transcript()[0], "$ zahlwerk");
  t.type("+\r2\r3\r");
  ASSERT_TRUE(t.wait_for_row(22, "Summe:  5")) << t.screen();
  finish_with_escape(t);
}

TEST(TerminalProgram, SizeChangesAreSeen) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.resize(100, 24);
  t.type("+\r1\r2\r");
  ASSERT_TRUE(t.wait_for_text("Summe:  3")) << t.screen();
  // The next line is edited on the wider screen.
  const std::string text(95, 'q');
  t.type(text);
  const std::vector<std::string> rows = wrapped(text, 100);
  ASSERT_TRUE(t.wait_for_row(13, rows[1])) << t.screen();
  EXPECT_EQ(t.row(12), rows[0]);
  t.type("\r1\r1\r");
  ASSERT_TRUE(t.wait_for_text("Nummmer 2: 1")) << t.screen();
  finish_with_escape(t);
}

// A screen squeezed to one row (or column) is no console while it is so;
// once it is restored, the program draws on it again.
TEST(TerminalProgram, ASqueezedScreenComesBack) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_prompt(1)) << t.screen();
  t.resize(80, 1);
  // A letter not on the screen yet, twice: the first write finds the
  // screen squeezed, the second is written as to a file.
  t.type("y");
  ASSERT_TRUE(t.wait_for_text("y")) << t.all_text();
  t.type("y");
  ASSERT_TRUE(t.wait_for([&] {
    const std::string text = t.all_text();
    return std::count(text.begin(), text.end(), 'y') == 2;
  })) << t.all_text();
  t.resize(80, 24);
  t.type("\x7f\x7f+\r2\r3\r");
  ASSERT_TRUE(t.wait_for_text("Summe:  5")) << t.screen();
  ASSERT_TRUE(t.wait_for([&] { return t.row(t.cursor().row) == "Operation:" && t.cursor().col == 11; }))
      << t.screen();
  const int prompt = t.cursor().row;
  EXPECT_EQ(t.row(prompt - 1), "Summe:  5") << t.screen();
  EXPECT_EQ(t.row(prompt - 2), "Nummmer 2: 3") << t.screen();
  EXPECT_EQ(t.row(prompt - 3), "Nummmer 1: 2") << t.screen();
  EXPECT_EQ(t.row(prompt - 4), "Operation: +") << t.screen();
  finish_with_escape(t);
}

// A window resized at a prompt, below 60 lines of earlier output: the
// terminal moves the content (a taller window pulls rows back from the
// scrollback). The echo stays on the prompt's row wherever that went, the
// next cycles follow it and scroll at the new bottom, and nothing is drawn
// over older rows.
TEST(TerminalProgram, ResizeAtAPromptKeepsTheEchoOnThePromptsRow) {
  struct Case {
    int columns, rows;
  };
  std::string earlier;
  for (int i = 1; i <= 60; ++i) earlier += "Zeile " + std::to_string(i) + "\r\n";
  for (const Case& c : {Case{80, 34}, Case{80, 16}, Case{100, 30}, Case{60, 24}}) {
    SCOPED_TRACE(std::to_string(c.columns) + "x" + std::to_string(c.rows));
    Options o;
    o.earlier_output = earlier;
    o.pull_scrollback = true;
    Terminal t(o);
    ASSERT_TRUE(t.wait_for_prompt(1)) << t.screen();
    t.type("+\r2\r3\r");
    ASSERT_TRUE(t.wait_for_prompt(2)) << t.screen();
    t.resize(c.columns, c.rows);
    const int prompt = t.cursor().row;
    ASSERT_EQ(t.row(prompt), "Operation:") << t.screen();
    t.type("+");
    ASSERT_TRUE(t.wait_for([&] { return t.row(prompt) == "Operation: +"; })) << t.screen();
    t.type("\r1\r2\r");
    ASSERT_TRUE(t.wait_for_prompt(3)) << t.screen();
    t.type("+\r3\r1\r");
    ASSERT_TRUE(t.wait_for_prompt(4)) << t.screen();
    const std::string text = t.all_text();
    EXPECT_NE(text.find("Zeile 60\n" + START_80[0] + "\n" + START_80[1] + "\n\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Summe:  5\nOperation: +\nNummmer 1: 1\nNummmer 2: 2\nSumme:  3\n"
                        "Operation: +\nNummmer 1: 3\nNummmer 2: 1\nSumme:  4\nOperation:\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(t.cursor().row, std::min(c.rows - 1, prompt + 8)) << t.screen();
    finish_with_escape(t);
  }
}

// The window's width changes while a line is typed: the line is drawn again
// at the new width, no row of the old layout stays behind, and the editing
// keys go on at the new width (End, Home, Up over a wrapped line).
TEST(TerminalProgram, TheLineFollowsANewWidthWhileItIsEdited) {
  std::string text = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  text += text.substr(0, 26);
  struct Case {
    int from, to;
    int typed;         // characters of `text` typed before the resize
    std::string keys;  // after it
    std::string want;
    bool cursor_moves_right = false;  // kitty
  };
  const Case cases[] = {
      {40, 80, 45, "Z\x1b[HY", "Y" + text.substr(0, 45) + "Z"},
      {40, 80, 45, "Z\x1b[HY", "Y" + text.substr(0, 45) + "Z", true},
      {40, 80, 0, "abc", "abc", true},
      {80, 40, 0, "abc", "abc"},  // before the first key
      {80, 40, 60, "Z\x1b[HY", "Y" + text.substr(0, 60) + "Z"},
      {80, 40, 60, "\x1b[AY", text.substr(0, 20) + "Y" + text.substr(20, 40)},
      {40, 60, 10, "Z", text.substr(0, 10) + "Z"},
      // The cursor in the same column whether or not the terminal re-wraps.
      {80, 40, 88, "Z\x1b[HY", "Y" + text.substr(0, 88) + "Z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to) + " columns, " + c.keys +
                 (c.cursor_moves_right ? ", cursor moved right" : ""));
    Options o;
    o.columns = c.from;
    o.resize_moves_cursor_right = c.cursor_moves_right;
    Terminal t(o);
    ASSERT_TRUE(t.wait_for_prompt(1)) << t.screen();
    const int prompt = t.cursor().row;
    const std::string typed = text.substr(0, static_cast<size_t>(c.typed));
    t.type(typed);
    const std::vector<std::string> before = wrapped(typed, c.from);
    if (c.typed > 0) {
      ASSERT_TRUE(t.wait_for_row(prompt + static_cast<int>(before.size()) - 1, before.back())) << t.screen();
    }
    t.resize(c.to, 24);
    t.type(c.keys);
    const std::vector<std::string> rows = wrapped(c.want, c.to);
    ASSERT_TRUE(t.wait_for([&] {
      for (size_t i = 0; i < rows.size(); ++i)
        if (t.row(prompt + static_cast<int>(i)) != rows[i]) return false;
      return true;
    })) << t.screen();
    for (int y = prompt + static_cast<int>(rows.size()); y < 24; ++y) EXPECT_EQ(t.row(y), "") << y << t.screen();
    t.type("\r");
    ASSERT_TRUE(t.wait_for_row(prompt + static_cast<int>(rows.size()), "Nummmer 1:")) << t.screen();
    t.type("1\r1\r");
    finish_with_escape(t);
  }
}

TEST(TerminalProgram, RedirectedOutputWithKeysFromTheTerminal) {
  Options o;
  o.output_to_file = true;
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_raw());
  t.type("+\r2\r3\r\x1b");
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
  const std::string out = t.output_file();
  EXPECT_EQ(out.rfind("### Zahlwerk-ZW ### V.1.1 ###\r\n", 0), 0u) << out;
  EXPECT_NE(out.find("Operation: +"), std::string::npos) << out;
  EXPECT_NE(out.find("Summe:  5\r\n"), std::string::npos) << out;
  EXPECT_EQ(out.find('\x1b'), std::string::npos) << "no escape sequence goes to a file";
  EXPECT_EQ(t.all_text(), std::string(24, '\n')) << "nothing on the screen";
}

// `zahlwerk | head -1`: once the reader has gone, keys typed end the
// program quietly instead of leaving it running unseen on a raw terminal.
TEST(TerminalProgram, OutputGoneEndsTheProgram) {
  Options o;
  o.output_to_pipe = true;
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_raw());
  t.close_output();
  t.type("+\r2\r");
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
}

// A terminal without a screen to draw on is written to as a file, in its
// own encoding.
TEST(TerminalProgram, DumbTerminalGetsItsOwnEncoding) {
  Options o;
  o.term = "dumb";
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_raw());
  ASSERT_TRUE(t.wait_for_text("Operation:")) << t.all_text();
  t.type("\xc3\xa4");
  ASSERT_TRUE(t.wait_for_text("Operation: \xc3\xa4\n")) << t.all_text();
  t.type("\x03");
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status)) << t.all_text();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
  EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
}

// The program starts below what the shell left on the screen: with its
// keys from a file too, and after output that filled the last column
// (where a terminal's cursor waits to wrap), which the encoding probe
// leaves alone.
TEST(TerminalProgram, StartsBelowTheShellsOutput) {
  struct Case {
    const char* name;
    bool input_from_file;
    std::string earlier;
    bool query_restores_cursor = false;
    const char* locale = "C.UTF-8";
    bool restore_drops_wrap = false;
  };
  const std::string full_row = std::string(79, ' ') + "X";
  const Case cases[] = {
      {"input from a file", true, "$ zahlwerk\r\n"},
      {"input from a file, last column filled", true, "$ x\r\n" + full_row},
      {"keys from the terminal, last column filled", false, "$ x\r\n" + full_row},
      {"a terminal that reads the keyboard query as restore cursor", false, "$ zahlwerk\r\n", true},
      {"last column filled, the encoding asked at a terminal like tmux", false, "$ x\r\n" + full_row, false, "C",
       true},
  };
  for (const Case& c : cases) {
    Options o;
    o.query_restores_cursor = c.query_restores_cursor;
    o.locale = c.locale;
    o.restore_drops_wrap = c.restore_drops_wrap;
    o.input_from_file = c.input_from_file;
    o.input = "+,2,3\n";
    o.earlier_output = c.earlier;
    Terminal t(o);
    if (c.input_from_file) {
      int status = -1;
      ASSERT_TRUE(t.wait_end(&status)) << c.name;
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name << " status " << status;
      EXPECT_TRUE(same_settings(t.settings(), t.settings_before())) << c.name;
      ASSERT_TRUE(t.wait_for_text("Summe:  5")) << c.name << "\n" << t.all_text();
    } else {
      ASSERT_TRUE(t.wait_for_prompt(1)) << c.name << "\n" << t.screen();
    }
    const int first = c.earlier.find("\r\n") + 2 == c.earlier.size() ? 1 : 2;
    EXPECT_EQ(t.row(0), c.earlier.substr(0, c.earlier.find('\r'))) << c.name << "\n" << t.screen();
    if (first == 2) {
      EXPECT_EQ(t.row(1), full_row) << c.name << "\n" << t.screen();
    }
    EXPECT_EQ(t.row(first), START_80[0]) << c.name << "\n" << t.screen();
    if (!c.input_from_file) finish_with_escape(t);
  }
}

TEST(TerminalProgram, RedirectedInputWithTheScreen) {
  Options o;
  o.input_from_file = true;
  o.input = "+,2,3\nkd,4\n";
  Terminal t(o);
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
  ASSERT_TRUE(t.wait_for_text("Summe:  5\nErgebnis:  8\n")) << t.all_text();
  EXPECT_NE(t.all_text().find(START_80[0]), std::string::npos);
}

// ---- Key reports over a slow line ------------------------------------

// On a link whose answers take 40, 100 or 300 ms, an arrow key whose bytes
// arrive as far apart is still the arrow: the cursor moves and the line
// stays.
TEST(TerminalProgram, AnArrowSplitOnASlowLinkIsOneKey) {
  for (int ms : {40, 100, 300}) {
    SCOPED_TRACE(std::to_string(ms) + " ms");
    Options o;
    o.answer_delay_ms = ms;
    Terminal t(o);
    ASSERT_TRUE(t.wait_for_prompt(1)) << t.screen();
    t.type("12");
    ASSERT_TRUE(t.wait_for_row(8, "Operation: 12")) << t.screen();
    t.type("\x1b");
    t.pause(ms);
    t.type("[D3");
    ASSERT_TRUE(t.wait_for([&] { return t.row(8) == "Operation: 132" && t.cursor().col == 13; })) << t.screen();
    // A lone Escape still clears the line, after the longer deadline.
    const auto start = std::chrono::steady_clock::now();
    t.type("\x1b");
    ASSERT_TRUE(t.wait_for([&] { return t.row(8) == "Operation:" && t.cursor().col == 11; })) << t.screen();
    RecordProperty("escape_to_cleared_ms_at_" + std::to_string(ms), static_cast<int>(millis_since(start)));
    t.type("\r1\r1\r");
    ASSERT_TRUE(t.wait_for_text("Nummmer 2: 1")) << t.screen();
    finish_with_escape(t);
  }
}

// Lets the program's output in for `ms` milliseconds, typing nothing: the
// bytes typed so far reach the program as a piece of their own.
void pause_typing(Terminal& t, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  t.wait_for([&] { return std::chrono::steady_clock::now() >= until; });
}

// With the kitty protocol on, a key report whose bytes come well past the
// Escape deadline apart (a slow or remote line) is still one key: the line
// keeps what was typed and gains the key, wherever the report was cut.
TEST(TerminalProgram, KittyReportCutByAPauseIsOneKey) {
  Options o;
  o.kitty_keyboard = true;
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  ASSERT_TRUE(t.wait_for([&] { return t.keyboard_flags() == 31; }));
  t.type(kitty_tap('1') + kitty_tap('2'));
  ASSERT_TRUE(t.wait_for_row(8, "Operation: 12")) << t.screen();
  const std::string three = kitty_tap('3');
  std::string want = "Operation: 12";
  // After the Escape, after "ESC [", within the parameters.
  for (size_t cut : {1, 2, 5, 8}) {
    t.type(three.substr(0, cut));
    pause_typing(t, 4 * zw::KEY_SEQUENCE_DEADLINE_MS);
    t.type(three.substr(cut));
    want += "3";
    ASSERT_TRUE(t.wait_for_row(8, want)) << "cut at " << cut << "\n" << t.screen();
  }
  t.type(KITTY_ESCAPE + KITTY_LAST_CYCLE);
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status)) << t.screen();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace

#else

TEST(TerminalProgram, NeedsLibvterm) { GTEST_SKIP() << "libvterm not found: terminal tests not built"; }

#endif  // ZW_HAVE_VTERM
