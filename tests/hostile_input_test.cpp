// The built program fed what a pipe can bring: endless input into a reader
// that goes away, odd bytes, items at and past their limits, lines of
// megabytes. It must end with status 0, say nothing on standard error and
// keep its memory flat.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>
#include <string>

#include "testing/calculator_test_texts.h"

namespace {

using namespace std::string_literals;

const std::string& START_TEXT = zw::EXPECTED_START_TEXT;

// A hang must fail the test, not stall the suite: a child still running
// after this long is killed.
constexpr int HANG_GUARD_SECONDS = 60;

enum class Out {
  COLLECT,           // read all of standard output
  CLOSE_AFTER_LINE,  // read up to the first line end, then close the pipe
  CLOSED,            // started with standard output closed
  FULL,              // standard output is /dev/full
};

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;       // exit status, -1 when killed by a signal
  bool killed = false;   // the hang guard struck
  long max_rss_kib = 0;
};

double seconds_now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

constexpr size_t ENDLESS = 0;

// Runs the program with `input` sent `times` times on a pipe (ENDLESS: until
// the program stops reading), then `tail`. The input is never held whole
// here, so the child's peak memory is not the parent's.
// With `nonblocking_input`, standard input is a pipe left non-blocking (as a
// parent sharing it may leave it) and the input is held back until the
// program has shown its start texts, so that it finds the pipe empty first.
Outcome run(const std::string& input, Out out_mode = Out::COLLECT, size_t times = 1,
            const std::string& tail = "", bool nonblocking_input = false) {
  signal(SIGPIPE, SIG_IGN);  // the program may stop reading before the end
  int in_pipe[2], out_pipe[2], err_pipe[2];
  EXPECT_EQ(pipe(in_pipe), 0);
  EXPECT_EQ(pipe(out_pipe), 0);
  EXPECT_EQ(pipe(err_pipe), 0);
  if (nonblocking_input) fcntl(in_pipe[0], F_SETFL, O_NONBLOCK);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(err_pipe[1], 2);
    if (out_mode == Out::CLOSED) {
      close(1);
    } else if (out_mode == Out::FULL) {
      const int full = open("/dev/full", O_WRONLY);
      dup2(full, 1);
    } else {
      dup2(out_pipe[1], 1);
    }
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
      if (fd > 2) close(fd);
    }
    signal(SIGPIPE, SIG_DFL);
    execl(ZW_BINARY, ZW_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);
  int in_fd = in_pipe[1];
  int out_fd = out_pipe[0];
  int err_fd = err_pipe[0];
  if (out_mode == Out::CLOSED || out_mode == Out::FULL) {
    close(out_fd);
    out_fd = -1;
  }
  size_t sent = 0;
  Outcome r;
  const double deadline = seconds_now() + HANG_GUARD_SECONDS;
  char buf[65536];
  while (out_fd >= 0 || err_fd >= 0) {
    if (seconds_now() > deadline) {
      kill(pid, SIGKILL);
      r.killed = true;
      break;
    }
    const bool hold_input = nonblocking_input && r.out.size() < START_TEXT.size();
    pollfd fds[3] = {{hold_input ? -1 : in_fd, POLLOUT, 0}, {out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    if (poll(fds, 3, 1000) < 0 && errno != EINTR) break;
    if (in_fd >= 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const size_t body = input.size() * times;
      const bool in_tail = times != ENDLESS && sent >= body;
      const std::string& piece = in_tail ? tail : input;
      const size_t at = in_tail ? sent - body : sent % input.size();
      const ssize_t n = piece.size() > at ? write(in_fd, piece.data() + at, piece.size() - at) : 0;
      if (n > 0) sent += static_cast<size_t>(n);
      if ((n < 0 && errno != EAGAIN) || (times != ENDLESS && sent == body + tail.size())) {
        close(in_fd);  // done, or the program stopped reading
        in_fd = -1;
      }
    }
    if (out_fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      const ssize_t n = read(out_fd, buf, sizeof buf);
      if (n > 0) r.out.append(buf, static_cast<size_t>(n));
      const bool line_seen = out_mode == Out::CLOSE_AFTER_LINE && r.out.find('\n') != std::string::npos;
      if (n <= 0 || line_seen) {
        close(out_fd);
        out_fd = -1;
      }
    }
    if (err_fd >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
      const ssize_t n = read(err_fd, buf, sizeof buf);
      if (n > 0) r.err.append(buf, static_cast<size_t>(n));
      if (n <= 0) {
        close(err_fd);
        err_fd = -1;
      }
    }
  }
  for (int fd : {in_fd, out_fd, err_fd}) {
    if (fd >= 0) close(fd);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.max_rss_kib = usage.ru_maxrss;
  return r;
}

TEST(HostileInput, ReaderGoneEndsEndlessInputQuietly) {
  // `yes +,2,3 | zahlwerk | head -1`: once the reader has gone, the program
  // ends at the next cycle with status 0 instead of reading for ever.
  const Outcome r = run("+,2,3\n", Out::CLOSE_AFTER_LINE, ENDLESS);
  EXPECT_FALSE(r.killed);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.substr(0, 31), "### Zahlwerk-ZW ### V.1.1 ###\r\n");
}

TEST(HostileInput, NonBlockingInputIsWaitedFor) {
  // An empty non-blocking pipe is no end of input: the program waits for
  // the bytes instead of ending without them.
  const Outcome r = run("+,2,3\n", Out::COLLECT, 1, "", /*nonblocking_input=*/true);
  EXPECT_FALSE(r.killed);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, START_TEXT + "Summe:  5\r\n");
}

TEST(HostileInput, ClosedStandardInputWithATerminalForOutput) {
  // Standard input closed, the screen a terminal: the descriptor the
  // program works the terminal with must not take standard input's place.
  int master = -1, slave = -1;
  winsize size{};
  size.ws_row = 25;
  size.ws_col = 80;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(master);
    login_tty(slave);
    close(STDIN_FILENO);
    execl(ZW_BINARY, ZW_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(slave);
  const double deadline = seconds_now() + HANG_GUARD_SECONDS;
  int status = 0;
  bool ended = false;
  char buf[4096];
  while (!ended && seconds_now() < deadline) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 100) > 0 && read(master, buf, sizeof buf) <= 0) {
      // The terminal has no writer left; the program is ending.
    }
    ended = waitpid(pid, &status, WNOHANG) == pid;
  }
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(master);
  EXPECT_TRUE(ended);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(HostileInput, UnwritableStandardOutput) {
  for (Out mode : {Out::CLOSED, Out::FULL}) {
    const Outcome once = run("+,2,3\n", mode);
    EXPECT_EQ(once.status, 0);
    EXPECT_EQ(once.err, "");
    const Outcome endless = run("+,2,3\n", mode, ENDLESS);
    EXPECT_FALSE(endless.killed);
    EXPECT_EQ(endless.status, 0);
    EXPECT_EQ(endless.err, "");
  }
}

std::string repeat(char c, size_t n) { return std::string(n, c); }

TEST(HostileInput, OddBytesAndItemLimits) {
  // A text item holds 4096 bytes and a number item 67; a longer item is cut
  // and its rest starts the next item. One cycle of blank separated items
  // that are cut takes 4096 + 67 + 67 bytes.
  const size_t cycle_bytes = 4096 + 67 + 67;
  struct Case {
    std::string input;
    std::string want;
  };
  const Case cases[] = {
      // Zero bytes end a text item's value; in a number they end the digits.
      {"+\0junk,2\0" "9,3\n"s, "Summe:  5\r\n"},
      {"\0\0\0\n\0,\0\n+,2,3\n"s, "Summe:  5\r\n"},
      {"\xff+,2,3\n+,\xff" "7,1\n", "Summe:  1\r\n"},
      // A number item of 67 bytes is whole, one of 68 loses its last byte
      // to the next item.
      {"+,2," + repeat('0', 66) + "3\n", "Summe:  5\r\n"},
      {"+,2," + repeat('0', 67) + "3\n", "Summe:  2\r\n"},
      {"+,2," + repeat('1', 67) + "\n", "Summe:  1.111111111111111e+66\r\n"},
      // A text item of exactly 4096 bytes takes its line end with it.
      {repeat('A', 4096) + "\n1\n2\n+,2,3\n", "Summe:  5\r\n"},
      {repeat('A', 4097) + "\n1\n2\n+,2,3\n", ""},
      // Blanks before an item and after a closing quote have no limit.
      {repeat(' ', 100000) + "+," + repeat(' ', 100000) + "2,3\n", "Summe:  5\r\n"},
      {"\"+\"" + repeat(' ', 100000) + ",2,3\n", "Summe:  5\r\n"},
      // A line of a megabyte without a separator is eaten in whole cycles.
      {repeat('x', cycle_bytes * 250) + "\n+,2,3\n", "Summe:  5\r\n"},
  };
  for (const Case& c : cases) {
    const Outcome r = run(c.input);
    EXPECT_EQ(r.status, 0) << c.input.size();
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, START_TEXT + c.want) << "input of " << c.input.size() << " bytes";
  }
}

TEST(HostileInput, MemoryDoesNotGrowWithLineLength) {
  // Nothing is kept per line: a line of 16 MiB needs no more memory than
  // an empty input. The line is a whole number of cut cycles long.
  const Outcome empty = run("\n");
  const Outcome huge = run(repeat('7', 4096 + 67 + 67), Out::COLLECT, 3967, "\n+,2,3\n");
  EXPECT_EQ(huge.status, 0);
  EXPECT_EQ(huge.out.substr(huge.out.size() - 11), "Summe:  5\r\n");
  EXPECT_LT(huge.max_rss_kib - empty.max_rss_kib, 2048);
}

}  // namespace
