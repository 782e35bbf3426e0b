#include "platform/posix/terminal_handshake.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

// The answer arrives in two pieces, behind a typed key and before another:
// the wait goes on past the first piece, and the keys around it are held.
TEST(TerminalHandshake, AnswerSplitAcrossReads) {
  Pipe p;
  TerminalInput in = input_on(p);
  p.send("x\x1b[12");
  std::thread rest([&] {
    ::usleep(50 * 1000);
    p.send(";34Ry");
  });
  const CursorWait wait = await_cursor_report(in, 2000, TypedAhead::HOLD);
  rest.join();
  EXPECT_EQ(wait, CursorWait::ANSWERED);
  EXPECT_EQ(in.decoder.report_row, 12);
  EXPECT_EQ(in.decoder.report_column, 34);
  take_terminal(in, 0);
  EXPECT_EQ(typed(in), "xy");
}

// An answer that comes after the wait gave up is taken out of the keys, and
// the terminal is not asked again.
TEST(TerminalHandshake, LateAnswerIsNoKey) {
  Pipe p;
  TerminalInput in = input_on(p);
  TerminalHandshake h;
  TerminalScreen screen;
  EXPECT_EQ(await_cursor_report(in, 20, TypedAhead::HOLD), CursorWait::NO_ANSWER);
  EXPECT_FALSE(settle_cursor_request(h, in.decoder, screen, /*still_owed=*/true));
  EXPECT_FALSE(h.cursor_reports);
  p.send("\x1b[1;5Rz");  // also Ctrl+F3, were it no answer
  take_terminal(in, 0);
  EXPECT_EQ(typed(in), "z");
}

// On a terminal that is not the program's input, read a byte at a time:
// what follows the answer stays for whoever reads the terminal next.
TEST(TerminalHandshake, DroppedKeysStopAtTheAnswer) {
  Pipe p;
  TerminalInput in = input_on(p);
  in.read_max = 1;
  p.send("ab\x1b[3;4Rcd");
  EXPECT_EQ(await_cursor_report(in, 2000, TypedAhead::DROP), CursorWait::ANSWERED);
  EXPECT_TRUE(in.events.empty());
  EXPECT_EQ(p.queued(), 2);
}

}  // namespace
}  // namespace zw
