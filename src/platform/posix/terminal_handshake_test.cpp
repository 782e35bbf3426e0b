#include "platform/posix/terminal_handshake.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace zw {
namespace {

struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() { EXPECT_EQ(::pipe(fds), 0); }
  ~Pipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  void send(const std::string& bytes) const {
    ASSERT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  int queued() const {
    int n = -1;
    ::ioctl(fds[0], FIONREAD, &n);
    return n;
  }
};

std::string typed(const TerminalInput& in) {
  std::string s;
  for (const InputRecord& r : in.events) {
    if (r.key.key_down) s += static_cast<char>(r.key.ch);
  }
  return s;
}

TerminalInput input_on(const Pipe& p) {
  TerminalInput in;
  in.fd = p.fds[0];
  reset_key_decoder(in.decoder, TextMode::UTF8);
  return in;
}

// A batch of requests sent on `in`: its bytes.
std::string requests(TerminalHandshake& h, TerminalInput& in) {
  std::string out;
  append_requests(h, in.decoder, &out);
  return out;
}

// The answers arrive in two pieces, behind a typed key and before another:
// the wait goes on past the first piece to the device attributes, and the
// keys around them are held.
TEST(TerminalHandshake, AnswersSplitAcrossReads) {
  Pipe p;
  TerminalInput in = input_on(p);
  TerminalHandshake h;
  EXPECT_EQ(requests(h, in), "\x1b" "7\x1b[?u\x1b" "8\x1b[6n\x1b[c");
  p.send("x\x1b[12");
  std::thread rest([&] {
    ::usleep(50 * 1000);
    p.send(";34R\x1b[?62;22cy");
  });
  const AnswerWait wait = await_answers(h, in, 2000, TypedAhead::HOLD);
  rest.join();
  EXPECT_EQ(wait, AnswerWait::ANSWERED);
  EXPECT_EQ(in.decoder.reports[0].row, 12);
  EXPECT_EQ(in.decoder.reports[0].column, 34);
  EXPECT_GE(h.round_trip_ms, 50);
  take_terminal(in, 0);
  EXPECT_EQ(typed(in), "xy");
}

// What ends the wait, by what the terminal answers: the device attributes
// at once, whether or not a cursor report came before them; a cursor report
// alone a deadline later, and the attributes are not asked for again;
// nothing at all, the whole wait, and late answers are taken out of the
// keys.
TEST(TerminalHandshake, TheLastAnswerEndsTheWait) {
  struct Case {
    const char* name;
    std::string answers;
    AnswerWait want;
    int max_ms;              // the wait took at most this long
    bool cursor_reports;     // asked again
    std::string next_batch;  // what is asked after a resize
  };
  const Case cases[] = {
      {"all", "\x1b[3;4R\x1b[?62c", AnswerWait::ANSWERED, 300, true, "\x1b[6n\x1b[c"},
      {"attributes only", "\x1b[?62c", AnswerWait::ANSWERED, 300, false, ""},
      {"cursor report only", "\x1b[3;4R", AnswerWait::ANSWERED, 300, true, "\x1b[6n"},
      {"nothing", "", AnswerWait::NO_ANSWER, 2000, false, ""},
  };
  for (const Case& c : cases) {
    Pipe p;
    TerminalInput in = input_on(p);
    TerminalHandshake h;
    TerminalScreen screen;
    requests(h, in);
    p.send(c.answers);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(await_answers(h, in, 1000, TypedAhead::HOLD), c.want) << c.name;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_LE(took, c.max_ms) << c.name;
    EXPECT_FALSE(settle_requests(h, in.decoder, screen, /*collected=*/false)) << c.name;
    EXPECT_EQ(h.cursor_reports, c.cursor_reports) << c.name;
    if (h.cursor_reports) {
      EXPECT_EQ(requests(h, in), c.next_batch) << c.name;
    } else if (c.answers.empty()) {
      p.send("\x1b[1;5R\x1b[?62cz");  // also Ctrl+F3, were it no answer
      take_terminal(in, 0);
      EXPECT_EQ(typed(in), "z") << c.name;
    }
  }
}

// The encoding probe's two reports: one cell moved is UTF-8, two a byte a
// cell; where the two cells could reach the last column (where the cursor
// stops), or the reports make no sense, there is no telling.
TEST(TerminalHandshake, ProbeVerdict) {
  const struct {
    CursorReport before, after;
    TextMode want;
  } cases[] = {
      {{5, 1}, {5, 2}, TextMode::UTF8},          {{5, 1}, {5, 3}, TextMode::SINGLE_BYTE},
      {{5, 78}, {5, 79}, TextMode::UTF8},        {{5, 78}, {5, 80}, TextMode::SINGLE_BYTE},
      {{5, 79}, {5, 80}, TextMode::ASCII},       {{5, 80}, {5, 80}, TextMode::ASCII},
      {{24, 80}, {24, 2}, TextMode::ASCII},      {{5, 1}, {6, 2}, TextMode::ASCII},
      {{5, 1}, {5, 1}, TextMode::ASCII},         {{5, 1}, {5, 5}, TextMode::ASCII},
      {{5, 0}, {5, 1}, TextMode::ASCII},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(probe_verdict(c.before, c.after, 80), c.want)
        << c.before.row << ";" << c.before.column << " to " << c.after.row << ";" << c.after.column;
  }
}

// The probe goes with the first requests while the encoding is wanted, and
// then no more: the verdict is taken once both its reports came.
TEST(TerminalHandshake, ProbeOnceWithTheFirstRequests) {
  Pipe p;
  TerminalInput in = input_on(p);
  TerminalHandshake h;
  TerminalScreen screen;
  h.probe_wanted = true;
  h.text_mode = TextMode::ASCII;
  EXPECT_EQ(requests(h, in), "\x1b[6n\x1b" "7\xc2\xa0\x1b[6n\x1b" "8\x1b" "7\x1b[?u\x1b" "8\x1b[c");
  p.send("\x1b[3;1R\x1b[3;2R\x1b[?62c");
  EXPECT_EQ(await_answers(h, in, 1000, TypedAhead::HOLD), AnswerWait::ANSWERED);
  settle_requests(h, in.decoder, screen, /*collected=*/false);
  EXPECT_EQ(h.text_mode, TextMode::UTF8);
  EXPECT_EQ(screen.cursor.y, 2);
  EXPECT_EQ(screen.cursor.x, 0);
  EXPECT_EQ(requests(h, in), "\x1b[6n\x1b[c");
}

// Where the program starts after the probe: at the first report, or, when
// the cursor waited to wrap at the row's end and the probe wrapped it (and
// at the bottom row scrolled the screen), on the row it went to.
TEST(TerminalHandshake, StartAfterTheProbe) {
  const struct {
    CursorReport before, after;
    Coord want;
    const char* sent;
  } cases[] = {
      {{5, 3}, {5, 4}, {2, 4}, ""},         {{5, 80}, {6, 2}, {0, 5}, ""},
      {{24, 80}, {24, 2}, {0, 23}, ""},     {{24, 80}, {24, 3}, {0, 23}, ""},
      {{5, 80}, {5, 80}, {0, 5}, "\r\n"},
  };
  for (const auto& c : cases) {
    TerminalHandshake h;
    h.probe_in_request = true;
    KeyDecoder d;
    d.reports[0] = c.before;
    d.reports[1] = c.after;
    d.reports_received = 2;
    TerminalScreen screen;
    reset_terminal_screen(screen, TextMode::ASCII, 80, 24, {0, 23});
    settle_requests(h, d, screen, /*collected=*/false);
    EXPECT_EQ(screen.cursor.x, c.want.x) << c.before.row << ";" << c.before.column;
    EXPECT_EQ(screen.cursor.y, c.want.y) << c.before.row << ";" << c.before.column;
    EXPECT_EQ(screen.out, c.sent) << c.before.row << ";" << c.before.column;
  }
}

// On a terminal that is not the program's input, read a byte at a time:
// what follows the answers stays for whoever reads the terminal next.
TEST(TerminalHandshake, DroppedKeysStopAtTheLastAnswer) {
  Pipe p;
  TerminalInput in = input_on(p);
  in.read_max = 1;
  TerminalHandshake h;
  requests(h, in);
  p.send("ab\x1b[3;4R\x1b[?1;2ccd");
  EXPECT_EQ(await_answers(h, in, 2000, TypedAhead::DROP), AnswerWait::ANSWERED);
  EXPECT_TRUE(in.events.empty());
  EXPECT_EQ(p.queued(), 2);
}

}  // namespace
}  // namespace zw
