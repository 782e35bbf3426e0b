#include "platform/posix/standard_streams.h"

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/output_block.h"

namespace zw {

namespace {

constexpr int DEFAULT_COLUMNS = 80;
constexpr int DEFAULT_ROWS = 24;
constexpr int MAX_CELLS = 32767;  // coordinates are 16-bit

// One write to `fd`: the number of bytes written; 0 when interrupted, or
// when a descriptor left non-blocking was full (after waiting until it takes
// bytes again); -1 when it failed.
ssize_t write_once(int fd, const char* bytes, size_t count) {
  const ssize_t n = ::write(fd, bytes, count);
  if (n >= 0) return n;
  if (errno == EINTR) return 0;
  if (errno == EAGAIN || errno == EWOULDBLOCK) {
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, -1);
    return 0;
  }
  return -1;
}

}  // namespace

// /dev/null opened the wrong way round for the descriptor fails every read
// or write just as the closed one did.
void keep_standard_descriptors() {
  const int wrong_way[3] = {O_WRONLY, O_RDONLY, O_RDONLY};
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int taken = ::open("/dev/null", wrong_way[fd]);
    if (taken >= 0 && taken != fd) {
      ::dup2(taken, fd);
      ::close(taken);
    }
  }
}

bool is_screen(int fd, const char* term) {
  return ::isatty(fd) == 1 && !(term != nullptr && std::strcmp(term, "dumb") == 0);
}

bool same_terminal(int a, int b) {
  struct stat sa {}, sb {};
  return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && S_ISCHR(sa.st_mode) && sa.st_rdev == sb.st_rdev;
}

// The C and POSIX locales, and the C locale that a failed setlocale leaves
// (an unset or unknown LANG), name ASCII: they say nothing about the
// terminal. Every other locale names the code page the terminal is set up
// for.
TextMode locale_text_mode() {
  const char* codeset = ::nl_langinfo(CODESET);
  if (codeset == nullptr) return TextMode::ASCII;
  if (std::strcmp(codeset, "UTF-8") == 0) return TextMode::UTF8;
  for (const char* ascii : {"", "ANSI_X3.4-1968", "ASCII", "US-ASCII", "646"})
    if (std::strcmp(codeset, ascii) == 0) return TextMode::ASCII;
  return TextMode::SINGLE_BYTE;
}

void read_screen_size(int fd, int* columns, int* rows) {
  winsize ws{};
  *columns = DEFAULT_COLUMNS;
  *rows = DEFAULT_ROWS;
  if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
    *columns = std::min<int>(ws.ws_col, MAX_CELLS);
    *rows = std::min<int>(ws.ws_row, MAX_CELLS);
  }
}

bool write_all_to(int fd, const char* bytes, size_t count) {
  return write_all(bytes, count, [fd](const char* b, size_t n) { return write_once(fd, b, n); });
}

size_t read_some(int fd, char* buffer, size_t count) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, count);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR) continue;
    // A pipe left non-blocking by whoever shares it: empty for now is not
    // the end of the input.
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, -1);
      continue;
    }
    return 0;
  }
}

}  // namespace zw
