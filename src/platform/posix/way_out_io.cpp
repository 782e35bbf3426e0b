#include "platform/posix/way_out_io.h"

#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/terminal_sequences.h"

namespace zw {

namespace {

int clock_ms() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

}  // namespace

void read_past_answer(int fd, LastAnswer last, int wait_ms) {
  const int until = clock_ms() + wait_ms;
  enum { NONE, ESCAPE, PARAMETERS } state = NONE;
  char first = 0;  // the first parameter byte
  for (;;) {
    const int left = until - clock_ms();
    if (left <= 0) return;
    pollfd p{fd, POLLIN, 0};
    const int n = ::poll(&p, 1, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !(p.revents & POLLIN)) return;
    char byte;
    if (::read(fd, &byte, 1) != 1) return;
    if (byte == ESC) {
      state = ESCAPE;
    } else if (state == ESCAPE && byte == '[') {
      state = PARAMETERS;
      first = 0;
    } else if (state == PARAMETERS && byte >= 0x30 && byte <= 0x3F) {
      if (first == 0) first = byte;
    } else if (state == PARAMETERS && last == LastAnswer::CURSOR_REPORT && byte == 'R') {
      return;
    } else if (state == PARAMETERS && last == LastAnswer::ATTRIBUTES && byte == 'c' &&
               first == '?') {
      return;
    } else {
      state = NONE;
    }
  }
}

bool in_foreground(int fd) {
  const pid_t job = ::tcgetpgrp(fd);
  return job < 0 || job == ::getpgrp();
}

void write_without_waiting(int fd, const char* bytes, size_t count) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return;
  if (!(flags & O_NONBLOCK) && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return;
  [[maybe_unused]] ssize_t w = ::write(fd, bytes, count);
  if (!(flags & O_NONBLOCK)) ::fcntl(fd, F_SETFL, flags);
}

}  // namespace zw
