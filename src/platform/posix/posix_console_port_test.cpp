#include "platform/posix/posix_console_port.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform_port.h"
#include "platform/posix/terminal_guard.h"
#include "platform/posix/terminal_handshake.h"
#include "platform/posix/terminal_sequences.h"
#include "support/pty_pair.h"

namespace zw {
namespace {

// The terminal's side of a pseudo-terminal, in a process of its own (the
// tests raise signals, which an emulator may not deliver well to a process
// with a second thread): hands back what the port sends, and answers a
// cursor request with `row` and `column`, the device attributes request,
// and, when `kitty`, the keyboard protocol query with its flags, each
// `delay_ms` after it came.
class FakeTerminal {
 public:
  FakeTerminal(int fd, int row, int column, bool kitty = false, int delay_ms = 0) : fd_(fd) {
    int seen[2];
    EXPECT_EQ(::pipe(seen), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(seen[0]);
      answer(fd, row, column, kitty, delay_ms, seen[1]);
      ::_exit(0);
    }
    ::close(seen[1]);
    seen_fd_ = seen[0];
  }
  ~FakeTerminal() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    ::close(seen_fd_);
  }
  FakeTerminal(const FakeTerminal&) = delete;
  FakeTerminal& operator=(const FakeTerminal&) = delete;

  void type(const std::string& bytes) const { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  // Waits up to two seconds for `bytes` to have come since the last call,
  // and returns (and forgets) what came up to and with them.
  std::string until(const std::string& bytes) {
    for (int i = 0; i < 200; ++i) {
      const size_t at = seen_.find(bytes);
      if (at != std::string::npos) {
        std::string got = seen_.substr(0, at + bytes.size());
        seen_.erase(0, at + bytes.size());
        return got;
      }
      pollfd p{seen_fd_, POLLIN, 0};
      char buf[4096];
      if (::poll(&p, 1, 10) > 0) {
        const ssize_t n = ::read(seen_fd_, buf, sizeof buf);
        if (n > 0) seen_.append(buf, static_cast<size_t>(n));
      }
    }
    return "(not seen) " + seen_;
  }

 private:
  static void answer(int fd, int row, int column, bool kitty, int delay_ms, int seen) {
    std::string tail;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) {
      if (::write(seen, buf, static_cast<size_t>(n)) != n) return;
      tail.append(buf, static_cast<size_t>(n));
      std::string reply;
      if (kitty && tail.find(KITTY_QUERY) != std::string::npos) reply = "\x1b[?0u";
      if (tail.find(CURSOR_REQUEST) != std::string::npos) {
        reply += "\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "R";
      }
      if (tail.find(ATTRIBUTES_REQUEST) != std::string::npos) reply += "\x1b[?62;22c";
      if (reply.empty()) continue;
      tail.clear();
      ::usleep(static_cast<useconds_t>(delay_ms) * 1000);
      if (::write(fd, reply.data(), reply.size()) < 0) return;
    }
  }

  const int fd_;
  pid_t pid_ = -1;
  int seen_fd_ = -1;
  std::string seen_;
};

// The next key-down event, waiting for it up to a second.
InputRecord next_key(ConsolePort& port) {
  InputRecord rec;
  for (int i = 0; i < 100; ++i) {
    int count = 0;
    while (port.read_input(&rec, &count) && count == 1) {
      if (rec.key.key_down) return rec;
    }
    port.wait_input(10);
  }
  return InputRecord{InputEventKind::FOCUS, {}};
}

// The character-type locale `name` while it lives. Where the system cannot
// load it (an emulated CPU of the other byte order reads the host's locale
// files and rejects them), the C locale stays and the port probes the
// terminal's encoding before its other requests.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name)
      : was_(std::setlocale(LC_CTYPE, nullptr)), took_(std::setlocale(LC_CTYPE, name) != nullptr) {}
  ~ScopedLocale() { std::setlocale(LC_CTYPE, was_.c_str()); }
  // The first requests, up to the device attributes, in this locale: the
  // probe's second cursor report stands for the plain one.
  std::string first_requests() const {
    const std::string keyboard = std::string(CURSOR_SAVE) + KITTY_QUERY + CURSOR_RESTORE;
    const std::string probe = std::string(CURSOR_REQUEST) + CURSOR_SAVE + ENCODING_PROBE + CURSOR_REQUEST + CURSOR_RESTORE;
    return (took_ ? keyboard + CURSOR_REQUEST : probe + keyboard) + ATTRIBUTES_REQUEST;
  }

 private:
  const std::string was_;
  const bool took_;
};

// What the control handler was handed.
std::atomic<int> g_events{0};
std::atomic<int> g_last_event{-1};
bool note_event(void*, ConsoleEvent event) {
  ++g_events;
  g_last_event = static_cast<int>(event);
  return event == ConsoleEvent::CTRL_C;
}

// Nothing is touched before the console's first use; then the terminal is
// taken over in one step: raw input, the cursor asked for and awaited. Every
// way out gives the settings back and shows the cursor.
TEST(PosixConsolePort, TakesTheTerminalOverAtFirstUseAndGivesItBack) {
  const ScopedLocale utf8("C.UTF-8");
  PtyPair pty(100, 30);
  FakeTerminal term(pty.terminal, 12, 5);
  const termios before = settings_of(pty.device);
  auto port = make_posix_port(pty.device, pty.device, "xterm");
  ScreenBufferInfo info;
  EXPECT_FALSE(port->get_screen_buffer_info(&info));
  port->open_console();
  EXPECT_EQ(term.until(ATTRIBUTES_REQUEST), utf8.first_requests());
  ASSERT_TRUE(port->get_screen_buffer_info(&info));
  EXPECT_EQ(info.size.x, 100);
  EXPECT_EQ(info.size.y, 30);
  EXPECT_EQ(info.cursor.x, 4);
  EXPECT_EQ(info.cursor.y, 11);
  EXPECT_FALSE(settings_of(pty.device).c_lflag & ICANON);
  EXPECT_TRUE(settings_of(pty.device).c_lflag & ISIG);
  ASSERT_TRUE(port->input_is_console());
  EXPECT_TRUE(port->enable_processed_input());

  // An update goes out at the flush, as one write; a lone Escape is the key
  // once the deadline passed.
  const CharCell cells[] = {{'h', 7}, {'i', 7}};
  port->write_cells(cells, 2, {3, 2});
  port->set_cursor_position({5, 2});
  port->end_update();
  port->flush();
  EXPECT_EQ(term.until("hi"), "\x1b[3;4Hhi");
  term.type("a\x1b");
  EXPECT_EQ(next_key(*port).key.ch, 'a');
  EXPECT_EQ(next_key(*port).key.virtual_key, 0x1B);

  // The other operations, each to its screen operation; a band of rows
  // scrolled within a margin, which the way out takes off again.
  EXPECT_TRUE(port->fill_chars('-', 3, {0, 4}));
  EXPECT_TRUE(port->fill_attrs(7, 3, {0, 4}));
  EXPECT_FALSE(port->fill_attrs(7, 1, {100, 0}));
  EXPECT_TRUE(port->scroll_rect({0, 2, 99, 10}, {0, 1}, {' ', 7}));
  port->beep(1000, 250);
  EXPECT_TRUE(port->set_window({0, 0, 99, 29}));
  CursorInfo cursor;
  ASSERT_TRUE(port->get_cursor_info(&cursor));
  EXPECT_TRUE(cursor.visible);
  EXPECT_EQ(port->map_virtual_key_char('A'), unsigned{'A'});
  port->end_update();
  port->flush();
  EXPECT_EQ(term.until("\x1b[3;6H"), "\x1b[5;1H---\x1b[2;11r\x1b[11;1H\n\x1b[r\a\x1b[3;6H");

  port.reset();
  EXPECT_EQ(term.until(CURSOR_SHOW), "\x1b" "7\x1b[r\x1b" "8\x1b[?25h");
  EXPECT_TRUE(same_settings(settings_of(pty.device), before));
  EXPECT_NE(make_platform_port(), nullptr);  // on this process's own streams, untouched
}

// With the kitty protocol answered: the flags pushed after the answer and
// popped on the way out; Ctrl+C reported as a key is raised as the signal
// the line discipline would raise, which reaches the control handler.
TEST(PosixConsolePort, KittyFlagsPushedAndPoppedAndCtrlCRaised) {
  const ScopedLocale utf8("C.UTF-8");
  PtyPair pty;
  FakeTerminal term(pty.terminal, 1, 80, /*kitty=*/true);
  auto port = make_posix_port(pty.device, pty.device, "xterm-kitty");
  port->add_ctrl_handler(note_event, nullptr);
  port->open_console();
  // A cursor in the last column waits to wrap: the program starts on the
  // next row.
  EXPECT_EQ(term.until(KITTY_PUSH), utf8.first_requests() + "\r\n\x1b[>31u");
  g_events = 0;
  term.type("\x1b[99;5u\x1b[97u");
  EXPECT_EQ(next_key(*port).key.ch, 'a');
  EXPECT_EQ(g_events, 1);
  EXPECT_EQ(g_last_event, static_cast<int>(ConsoleEvent::CTRL_C));
  port->remove_ctrl_handler(note_event);
  port.reset();
  EXPECT_EQ(term.until(CURSOR_SHOW), std::string("\x1b[2;1H") + KITTY_POP + CURSOR_SHOW);
}

// Answers that come after the program stopped waiting for them are owed
// until they come, then no more: a way out after them has nothing to wait
// for.
TEST(PosixConsolePort, LateAnswersAreOwedUntilTheyCome) {
  const ScopedLocale utf8("C.UTF-8");
  PtyPair pty;
  FakeTerminal term(pty.terminal, 3, 1, false, ANSWER_WAIT_MS + 200);
  auto port = make_posix_port(pty.device, pty.device, "xterm");
  port->open_console();
  EXPECT_TRUE(answers_owed());
  term.until(ATTRIBUTES_REQUEST);
  ::usleep(400 * 1000);
  term.type("a");
  EXPECT_EQ(next_key(*port).key.ch, 'a');
  EXPECT_FALSE(answers_owed());

  // The terminal answers after all: at a size change it is asked again and
  // waited for until its answer places the cursor (a screen drawn again
  // without it would put the line on the wrong rows).
  pty.resize(60, 20);
  ::raise(SIGWINCH);
  EXPECT_TRUE(port->take_size_change());
  // (A cursor placement the screen still had to send may go first.)
  EXPECT_TRUE(term.until(ATTRIBUTES_REQUEST).ends_with(std::string(CURSOR_REQUEST) + ATTRIBUTES_REQUEST));
  ScreenBufferInfo info;
  ASSERT_TRUE(port->get_screen_buffer_info(&info));
  EXPECT_EQ(info.cursor.y, 2);
  EXPECT_FALSE(answers_owed());
}

// A size change and a resume, as the signals report them: the size read
// again and the cursor asked for again; on resume the input made raw again
// from what the shell left, the hidden cursor hidden again.
TEST(PosixConsolePort, SizeChangeAndResume) {
  PtyPair pty(80, 24);
  FakeTerminal term(pty.terminal, 3, 1);
  // What the shell sets while the program is stopped, to be given back.
  termios shell = settings_of(pty.device);
  shell.c_cc[VERASE] = 8;
  auto port = make_posix_port(pty.device, pty.device, "xterm");
  port->open_console();
  term.until(ATTRIBUTES_REQUEST);

  pty.resize(60, 20);
  ::raise(SIGWINCH);
  EXPECT_TRUE(port->take_size_change());
  EXPECT_FALSE(port->take_size_change());
  ScreenBufferInfo info;
  ASSERT_TRUE(port->get_screen_buffer_info(&info));
  EXPECT_EQ(info.size.x, 60);
  EXPECT_EQ(info.size.y, 20);
  EXPECT_EQ(term.until(ATTRIBUTES_REQUEST), std::string(CURSOR_REQUEST) + ATTRIBUTES_REQUEST);

  port->set_cursor_info({25, false});
  port->flush();
  EXPECT_EQ(term.until("H"), "\x1b[?25l\x1b[3;1H");
  ::tcsetattr(pty.device, TCSANOW, &shell);
  ::raise(SIGCONT);
  EXPECT_TRUE(port->take_size_change());
  EXPECT_EQ(term.until(ATTRIBUTES_REQUEST), std::string(CURSOR_HIDE) + CURSOR_REQUEST + ATTRIBUTES_REQUEST);
  EXPECT_FALSE(settings_of(pty.device).c_lflag & ICANON);
  port.reset();
  EXPECT_TRUE(same_settings(settings_of(pty.device), shell));
}

// A terminal that hangs up is the close event, then the end of the input:
// the line being typed ends as by Enter, and the input is no console any
// more and reads as empty.
TEST(PosixConsolePort, HangUpIsTheCloseEventAndTheEndOfTheInput) {
  PtyPair pty;
  auto term = std::make_unique<FakeTerminal>(pty.terminal, 1, 1);
  auto port = make_posix_port(pty.device, pty.device, "xterm");
  port->add_ctrl_handler(note_event, nullptr);
  port->open_console();
  term->until(ATTRIBUTES_REQUEST);
  term.reset();
  g_events = 0;
  pty.hang_up();
  EXPECT_EQ(next_key(*port).key.ch, '\r');
  EXPECT_EQ(g_events, 1);
  EXPECT_EQ(g_last_event, static_cast<int>(ConsoleEvent::CLOSE));
  EXPECT_FALSE(port->input_is_console());
  char buf[8];
  EXPECT_EQ(port->read_stdin(buf, sizeof buf), 0u);
  ScreenBufferInfo info;
  EXPECT_FALSE(port->get_screen_buffer_info(&info));
  port->wait_input(1);  // a pause, no busy loop and no read
}

// Keys from a file, the screen a terminal: the cursor is asked for through
// the terminal itself, made raw only for the wait, when the program is its
// foreground job (here a child leading a session of its own on it; an
// emulator may give it none, and then nothing is asked).
TEST(PosixConsolePort, CursorAskedThroughTheScreenWhenTheInputIsElsewhere) {
  PtyPair pty;
  FakeTerminal term(pty.terminal, 7, 3);
  int in[2];
  ASSERT_EQ(::pipe(in), 0);
  const termios before = settings_of(pty.device);
  constexpr int ASKED = 0, NOT_ASKED = 3;
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::setsid();
    ::ioctl(pty.device, TIOCSCTTY, 0);
    const bool foreground = ::tcgetsid(pty.device) == ::getsid(0) && ::tcgetpgrp(pty.device) == ::getpgrp();
    auto port = make_posix_port(in[0], pty.device, "xterm");
    port->open_console();
    ScreenBufferInfo info;
    const Coord want = foreground ? Coord{2, 6} : Coord{0, 23};
    const bool placed = port->get_screen_buffer_info(&info) && info.cursor.x == want.x && info.cursor.y == want.y;
    const bool given_back = same_settings(settings_of(pty.device), before);
    port.reset();
    // Not _exit: the child's coverage counts too.
    std::exit(!placed || !given_back ? 1 : foreground ? ASKED : NOT_ASKED);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  const int outcome = WEXITSTATUS(status);
  ASSERT_TRUE(outcome == ASKED || outcome == NOT_ASKED) << outcome;
  const std::string sent = term.until(CURSOR_SHOW);
  EXPECT_EQ(sent.find(CURSOR_REQUEST) == 0, outcome == ASKED) << sent;
  ::close(in[0]);
  ::close(in[1]);
}

// Keys from a terminal, output to a pipe whose reader left: the output's
// failure ends the input and gives the terminal back at once.
TEST(PosixConsolePort, OutputGoneEndsTheTerminalInput) {
  PtyPair pty;
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  ::close(out[0]);
  const termios before = settings_of(pty.device);
  auto port = make_posix_port(pty.device, out[1], "xterm");
  port->open_console();
  ASSERT_TRUE(port->input_is_console());
  EXPECT_TRUE(port->enable_processed_input());
  EXPECT_FALSE(settings_of(pty.device).c_lflag & ICANON);
  size_t written = 0;
  EXPECT_TRUE(port->write_bytes("x", 1, &written));
  port->flush();
  EXPECT_FALSE(port->input_is_console());
  EXPECT_TRUE(same_settings(settings_of(pty.device), before));
  EXPECT_FALSE(port->write_bytes("y", 1, &written));
  EXPECT_EQ(written, 0u);
  ::close(out[1]);
}

// Files and pipes: bytes pass unchanged through the block, which the
// console layer may fill directly; a terminal written to as a file (TERM
// dumb) gets them in its encoding, so it offers no block.
TEST(PosixConsolePort, FilesPipesAndATerminalWrittenAsAFile) {
  int in[2], out[2];
  ASSERT_EQ(::pipe(in), 0);
  ASSERT_EQ(::pipe(out), 0);
  {
    auto port = make_posix_port(in[0], out[1], "xterm");
    port->open_console();
    EXPECT_FALSE(port->input_is_console());
    ASSERT_NE(port->redirected_output(), nullptr);
    size_t written = 0;
    EXPECT_TRUE(port->write_bytes("\x80\r\n", 3, &written));
    EXPECT_EQ(written, 3u);
    ASSERT_EQ(::write(in[1], "7\n", 2), 2);
    char buf[8];
    port->wait_input(1000);
    EXPECT_EQ(port->read_stdin(buf, sizeof buf), 2u);  // flushes first
    char got[8] = {};
    EXPECT_EQ(::read(out[0], got, sizeof got), 3);
    EXPECT_STREQ(got, "\x80\r\n");
    InputRecord rec;
    int count = 1;
    EXPECT_FALSE(port->peek_input(&rec, &count));
    EXPECT_EQ(count, 0);
  }
  // In the C locale, as single bytes.
  const std::string locale = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "C");
  PtyPair pty;
  auto port = make_posix_port(in[0], pty.device, "dumb");
  port->open_console();
  EXPECT_EQ(port->redirected_output(), nullptr);
  ScreenBufferInfo info;
  EXPECT_FALSE(port->get_screen_buffer_info(&info));
  size_t written = 0;
  EXPECT_TRUE(port->write_bytes("\x80!", 2, &written));
  EXPECT_EQ(written, 2u);
  port->flush();
  char got[8] = {};
  EXPECT_EQ(::read(pty.terminal, got, sizeof got), 2);
  EXPECT_STREQ(got, "?!");
  std::setlocale(LC_CTYPE, locale.c_str());
  for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
}

}  // namespace
}  // namespace zw
