#include "platform/posix/standard_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace zw {
namespace {

// Pipes left non-blocking by whoever shares them: a full one is waited on
// until it takes bytes again, an empty one until bytes come; neither is a
// failure, nor the end of the input.
TEST(StandardStreams, NonBlockingPipesAreWaitedOn) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  for (int fd : fds) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  const std::string sent(256 * 1024, 'x');  // more than a pipe holds
  std::string got;
  std::thread reader([&] {
    char buf[4096];
    for (size_t n; (n = read_some(fds[0], buf, sizeof buf)) > 0;) got.append(buf, n);
  });
  EXPECT_TRUE(write_all_to(fds[1], sent.data(), sent.size()));
  ::close(fds[1]);
  reader.join();
  EXPECT_EQ(got.size(), sent.size());
  ::close(fds[0]);
  char byte;
  EXPECT_EQ(read_some(fds[0], &byte, 1), 0u);  // a descriptor that failed reads as ended

  int columns = 0, rows = 0;
  read_screen_size(fds[0], &columns, &rows);  // no terminal says nothing
  EXPECT_EQ(columns, 80);
  EXPECT_EQ(rows, 24);
}

}  // namespace
}  // namespace zw
