#include "platform/posix/terminal_input.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/us_layout.h"

namespace zw {
namespace {

// A paste larger than a piece: each look reads one piece and no more, and
// the rest waits in the terminal's own buffer until the keys are taken.
TEST(TerminalInput, ReadsAPieceAtATime) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string paste(TERMINAL_READ_MAX * 2 + 900, 'a');
  ASSERT_EQ(::write(fds[1], paste.data(), paste.size()), static_cast<ssize_t>(paste.size()));
  TerminalInput in;
  in.fd = fds[0];
  reset_key_decoder(in.decoder, TextMode::UTF8);
  const struct {
    size_t keys;
    size_t left;
  } looks[] = {{TERMINAL_READ_MAX, TERMINAL_READ_MAX + 900}, {TERMINAL_READ_MAX, 900}, {900, 0}};
  for (const auto& look : looks) {
    in.events.clear();
    take_terminal(in, 0);
    EXPECT_EQ(in.events.size(), 2 * look.keys) << "a press and a release for each";
    int queued = -1;
    ASSERT_EQ(::ioctl(fds[0], FIONREAD, &queued), 0);
    EXPECT_EQ(static_cast<size_t>(queued), look.left);
  }
  ::close(fds[0]);
  ::close(fds[1]);
}

// On a slow link the rest of a sequence is awaited past a local terminal's
// deadline, but a byte that cannot go on with it settles what waits at once.
TEST(TerminalInput, APauseInASequenceOnASlowLink) {
  struct Case {
    const char* first;
    const char* rest;
    std::vector<uint16_t> want;  // virtual keys pressed
  };
  const Case cases[] = {
      {"\x1b", "[D", {VKEY_LEFT}},
      {"\x1b[", "D", {VKEY_LEFT}},
      {"\x1b", "x", {VKEY_ESCAPE, 'X'}},
      {"\x1b", "\x1b[D", {VKEY_ESCAPE, VKEY_LEFT}},
      {"\x1b[1", "\r", {VKEY_RETURN}},
  };
  for (const Case& c : cases) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    TerminalInput in;
    in.fd = fds[0];
    in.deadline_ms = KEY_SEQUENCE_DEADLINE_MAX_MS;
    reset_key_decoder(in.decoder, TextMode::UTF8);
    ASSERT_GT(::write(fds[1], c.first, std::strlen(c.first)), 0);
    std::thread rest([&] {
      ::usleep((KEY_SEQUENCE_DEADLINE_MS + 20) * 1000);
      EXPECT_GT(::write(fds[1], c.rest, std::strlen(c.rest)), 0);
    });
    take_terminal(in, 0);  // waits for the rest
    rest.join();
    take_terminal(in, 0);
    std::vector<uint16_t> got;
    for (const InputRecord& r : in.events)
      if (r.key.key_down) got.push_back(r.key.virtual_key);
    EXPECT_EQ(got, c.want) << c.first << " " << c.rest;
    ::close(fds[0]);
    ::close(fds[1]);
  }
}

// The deadline for the rest of a sequence follows the link: twice its
// round trip, never shorter than at a local terminal, never past its bound.
TEST(TerminalInput, KeyDeadlineFollowsTheRoundTrip) {
  const struct {
    int round_trip_ms;
    int want;
  } cases[] = {{-1, 30}, {0, 30}, {2, 30}, {15, 30}, {16, 32}, {40, 80}, {100, 200}, {250, 500}, {300, 500}, {100000, 500}};
  for (const auto& c : cases) EXPECT_EQ(key_deadline_for(c.round_trip_ms), c.want) << c.round_trip_ms;
}

}  // namespace
}  // namespace zw
