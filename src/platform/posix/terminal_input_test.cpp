#include "platform/posix/terminal_input.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

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
