// Runs the calculator on a pseudo-terminal of 80 x 25 and types at it.
//
//   zw_pty_session storm SEED BYTES -- CMD [ARGS...]
//       types BYTES random bytes (the keys that stop or suspend the program
//       left out), then Ctrl+C. Succeeds when the program ended by itself or
//       by the interrupt, nothing else, and left the terminal's modes as it
//       found them.
//   zw_pty_session paste MIB LIMIT_KIB -- CMD [ARGS...]
//       at a number's prompt, pastes MIB MiB of digits and Backspaces at
//       full speed, then
//       ends the cycle and the program with Escape. Succeeds when the
//       program ended with status 0, its peak RSS stayed at most LIMIT_KIB
//       and the terminal's modes are as it found them.
//   zw_pty_session measure KEYS CYCLES -- CMD [ARGS...]
//       types CYCLES cycles "+ 2 3" and then a line of KEYS characters, one
//       key at a time, waiting for the echo; ends with Escape. Prints
//       "bytes N" (bytes the program wrote to the terminal) and "status S".
//   zw_pty_session latency KEYS 0 -- CMD [ARGS...]
//       types KEYS keys at the "Operation: " prompt, "a" and Backspace by
//       turns, each once the echo of the one before has come; prints
//       "latency MEDIAN P99" in milliseconds, from the key's write to the
//       first byte of its echo.
//
// A cursor position request (ESC [ 6 n) and a device attributes request
// (ESC [ c) are answered as a terminal would. The
// program starts as a terminal emulator's shell starts a job, every signal
// at its default whatever this runner was started with.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/pty_spawn.h"

namespace {

int master_fd = -1;
size_t bytes_seen = 0;
std::string tail_seen;  // the last bytes read, to spot requests split over reads

double now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Reads what the program wrote for up to `wait_ms`; with `until_quiet`, stops
// once output has come and then paused for `quiet_ms`. False at end of file.
bool drain(int wait_ms, bool until_quiet, int quiet_ms = 10) {
  const double end = now() + wait_ms / 1000.0;
  bool got = false;
  while (now() < end) {
    pollfd p{master_fd, POLLIN, 0};
    const int n = poll(&p, 1, got && until_quiet ? quiet_ms : 5);
    if (n == 0) {
      if (got && until_quiet) return true;
      continue;
    }
    if (n < 0) continue;
    char buf[65536];
    const ssize_t r = read(master_fd, buf, sizeof buf);
    if (r <= 0) return false;  // EIO: the program has gone
    got = true;
    bytes_seen += static_cast<size_t>(r);
    tail_seen.append(buf, static_cast<size_t>(r));
    std::string answers;
    if (tail_seen.find("\x1b[6n") != std::string::npos) answers += "\x1b[1;1R";
    if (tail_seen.find("\x1b[c") != std::string::npos) answers += "\x1b[?62c";
    if (!answers.empty()) {
      if (write(master_fd, answers.data(), answers.size()) < 0) return false;
      tail_seen.clear();
    }
    if (tail_seen.size() > 16) tail_seen.erase(0, tail_seen.size() - 16);
  }
  return true;
}

void type(const std::string& keys) {
  size_t done = 0;
  while (done < keys.size()) {
    const ssize_t n = write(master_fd, keys.data() + done, keys.size() - done);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    if (n > 0) done += static_cast<size_t>(n);
    if (done < keys.size()) drain(1, false);  // the program must read on
  }
}

long peak_rss_kib = 0;  // of the program, once it has ended

// Waits for the program to end, at most `seconds`; -1 when it had to be
// killed.
int wait_end(const zw::pty::Job& job, int seconds) {
  const double end = now() + seconds;
  int status = -1;
  zw::pty::Report report;
  while (now() < end) {
    while (zw::pty::next_report(job, &report)) {
      if (WIFEXITED(report.status) || WIFSIGNALED(report.status)) {
        peak_rss_kib = report.peak_rss_kib;
        status = report.status;
      }
    }
    if (status != -1) break;
    drain(20, false);
  }
  if (status == -1) kill(job.program, SIGKILL);
  waitpid(job.session, nullptr, 0);
  return status;
}

bool same_modes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

}  // namespace

int main(int argc, char** argv) {
  int dash = 1;
  while (dash < argc && std::strcmp(argv[dash], "--") != 0) ++dash;
  if (argc < 4 || dash >= argc - 1) {
    std::fprintf(stderr,
                 "usage: zw_pty_session storm SEED BYTES | paste MIB LIMIT_KIB | measure KEYS CYCLES"
                 " | latency KEYS 0 -- CMD...\n");
    return 2;
  }
  const std::string mode = argv[1];
  const long a = std::atol(argv[2]);
  const long b = std::atol(argv[3]);
  signal(SIGPIPE, SIG_IGN);

  winsize size{};
  size.ws_row = 25;
  size.ws_col = 80;
  int slave_fd = -1;
  if (openpty(&master_fd, &slave_fd, nullptr, nullptr, &size) != 0) {
    std::perror("openpty");
    return 2;
  }
  // The modes as the program finds them, taken before it can change them.
  termios before{};
  tcgetattr(slave_fd, &before);
  const zw::pty::Job job = zw::pty::spawn(slave_fd, -1, -1, {master_fd}, argv + dash + 1, nullptr);
  if (job.program < 0) {
    std::perror("starting the program");
    return 2;
  }
  close(slave_fd);
  drain(300, true, 50);  // start-up: banner, menu, first prompt

  if (mode == "storm") {
    uint64_t s = static_cast<uint64_t>(a) * 2654435761u + 1;
    std::string chunk;
    for (long i = 0; i < b; ++i) {
      s ^= s << 13;
      s ^= s >> 7;
      s ^= s << 17;
      const char c = static_cast<char>(s >> 24);
      // Ctrl+C, Ctrl+\ and Ctrl+Z stop the program by their signals, Ctrl+S
      // would hold its output.
      if (c == 3 || c == 0x1C || c == 0x1A || c == 0x13 || c == 0x11) continue;
      chunk += c;
      if (chunk.size() == 64 || i == b - 1) {
        type(chunk);
        chunk.clear();
      }
    }
    drain(200, false);
    type("\x03");
    const int status = wait_end(job, 10);
    termios after{};
    tcgetattr(master_fd, &after);
    const bool ended_well = status != -1 && ((WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
                                             (WIFSIGNALED(status) && WTERMSIG(status) == SIGINT));
    const bool restored = same_modes(before, after);
    if (!restored) {
      std::fprintf(stderr, "modes before: i %o o %o c %o l %o min %d time %d\n", before.c_iflag, before.c_oflag,
                   before.c_cflag, before.c_lflag, before.c_cc[VMIN], before.c_cc[VTIME]);
      std::fprintf(stderr, "modes after:  i %o o %o c %o l %o min %d time %d\n", after.c_iflag, after.c_oflag,
                   after.c_cflag, after.c_lflag, after.c_cc[VMIN], after.c_cc[VTIME]);
    }
    std::printf("storm %ld bytes: %s, %s, terminal %s\n", b,
                status == -1 ? "hung (killed)" : WIFEXITED(status) ? "exited" : strsignal(WTERMSIG(status)),
                ended_well ? "ok" : "FAILED", restored ? "restored" : "NOT RESTORED");
    return ended_well && restored ? 0 : 1;
  }

  if (mode == "latency") {
    std::vector<double> times;
    for (long k = 0; k < a; ++k) {
      const char key = k % 2 == 0 ? 'a' : '\x7f';
      const double start = now();
      if (write(master_fd, &key, 1) != 1) break;
      pollfd p{master_fd, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) break;
      times.push_back((now() - start) * 1000);
      drain(1000, true, 2);  // the rest of the echo, if it came in pieces
    }
    type("\r\r\r\x1b");
    wait_end(job, 10);
    if (times.size() != static_cast<size_t>(a) || times.empty()) {
      std::fprintf(stderr, "latency: %zu of %ld keys echoed\n", times.size(), a);
      return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("latency %.3f %.3f\n", times[times.size() / 2], times[(times.size() * 99) / 100]);
    return 0;
  }

  if (mode == "paste") {
    type("+\r");
    drain(1000, true);
    // Written without blocking, so that the program's output (a beep for
    // every digit past the line's end) is read meanwhile.
    fcntl(master_fd, F_SETFL, fcntl(master_fd, F_GETFL) | O_NONBLOCK);
    // A digit and Backspace, so that what the line editor keeps of the
    // paste stays short: the memory measured is the input's.
    std::string chunk;
    while (chunk.size() < 65536) chunk += "7\x7f";
    const double start = now();
    for (long i = 0; i < a * 16; ++i) type(chunk);
    const double seconds = now() - start;
    // Escape waiting with the last Enter, so that the cycle's poll finds it.
    type("\r3\r\x1b");
    const int status = wait_end(job, 20);
    termios after{};
    tcgetattr(master_fd, &after);
    const bool ended_well = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const bool restored = same_modes(before, after);
    const bool flat = peak_rss_kib <= b;
    std::printf("paste %ld MiB in %.1fs: %s, peak RSS %ld KiB (limit %ld), terminal %s\n", a, seconds,
                ended_well ? "exited 0" : "FAILED", peak_rss_kib, b, restored ? "restored" : "NOT RESTORED");
    return ended_well && restored && flat ? 0 : 1;
  }

  // measure
  for (long c = 0; c < b; ++c) {
    for (const char* key : {"+", "\r", "2", "\r", "3", "\r"}) {
      type(key);
      drain(1000, true);
    }
  }
  for (long k = 0; k < a; ++k) {
    type("a");
    drain(1000, true);
  }
  // The operation line, two empty numbers, and Escape waiting with the last
  // Enter so that the cycle's poll finds it.
  type("\r");
  drain(1000, true);
  type("\r");
  drain(1000, true);
  type("\r\x1b");
  const int status = wait_end(job, 10);
  std::printf("bytes %zu\nstatus %d\n", bytes_seen,
              status == -1 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return status == -1 ? 1 : 0;
}
