// Runs commands side by side in interleaved rounds, feeding each the same
// input through a pipe and draining its output through another, and prints
// per command the minimum and median wall time and the peak resident set.
//
//   zw_bench_run ROUNDS INPUT_FILE NAME CMD [ARGS...] [:: NAME CMD ...]
//
// Output: one line per command, "NAME MIN_SECONDS MEDIAN_SECONDS MAX_RSS_KIB
// MIN_CPU_SECONDS": the CPU time (user and system) of the command, which a
// loaded machine disturbs less than the wall time.
// The input is held in memory, so reading it costs the commands nothing
// beyond the pipe; the output is read and thrown away.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Command {
  std::string name;
  std::vector<char*> argv;
  std::vector<double> seconds;
  double min_cpu_seconds = 0;
  long max_rss_kib = 0;
};

double now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// One run: returns false when the command could not be run or failed.
bool run_once(Command& cmd, const char* input, size_t input_len, double* seconds) {
  int in_pipe[2], out_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) return false;
  const double start = now();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    close(in_pipe[0]);
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(out_pipe[1]);
    execvp(cmd.argv[0], cmd.argv.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);
  size_t sent = 0;
  int in_fd = in_pipe[1];
  if (input_len == 0) {
    close(in_fd);
    in_fd = -1;
  }
  static char sink[1 << 16];
  bool out_open = true;
  while (out_open) {
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {in_fd, POLLOUT, 0}};
    const int n = poll(fds, in_fd >= 0 ? 2 : 1, -1);
    if (n < 0 && errno == EINTR) continue;
    if (fds[0].revents) {
      const ssize_t r = read(out_pipe[0], sink, sizeof sink);
      if (r <= 0) out_open = false;
    }
    if (in_fd >= 0 && fds[1].revents) {
      const ssize_t w = write(in_fd, input + sent, std::min<size_t>(input_len - sent, 1 << 16));
      if (w > 0) sent += static_cast<size_t>(w);
      if (w < 0 && errno != EAGAIN) sent = input_len;  // the command stopped reading
      if (sent == input_len) {
        close(in_fd);
        in_fd = -1;
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
  close(out_pipe[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  *seconds = now() - start;
  cmd.max_rss_kib = std::max(cmd.max_rss_kib, usage.ru_maxrss);
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  if (cmd.seconds.empty() || cpu < cmd.min_cpu_seconds) cmd.min_cpu_seconds = cpu;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: zw_bench_run ROUNDS INPUT NAME CMD [ARGS...] [:: NAME CMD ...]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  const int rounds = std::atoi(argv[1]);
  const int fd = open(argv[2], O_RDONLY);
  struct stat st{};
  if (fd < 0 || fstat(fd, &st) != 0) {
    std::perror(argv[2]);
    return 2;
  }
  const size_t input_len = static_cast<size_t>(st.st_size);
  const char* input = "";
  if (input_len > 0) {
    void* map = mmap(nullptr, input_len, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (map == MAP_FAILED) return 2;
    input = static_cast<const char*>(map);
  }
  std::vector<Command> cmds;
  for (int i = 3; i < argc;) {
    Command c;
    c.name = argv[i++];
    while (i < argc && std::strcmp(argv[i], "::") != 0) c.argv.push_back(argv[i++]);
    c.argv.push_back(nullptr);
    ++i;
    cmds.push_back(std::move(c));
  }
  for (int r = 0; r < rounds; ++r) {
    // The order turns each round, so no command always runs right after
    // the same neighbour.
    for (size_t k = 0; k < cmds.size(); ++k) {
      Command& c = cmds[(k + static_cast<size_t>(r)) % cmds.size()];
      double s = 0;
      if (!run_once(c, input, input_len, &s)) {
        std::fprintf(stderr, "%s failed\n", c.name.c_str());
        return 1;
      }
      c.seconds.push_back(s);
    }
  }
  for (Command& c : cmds) {
    std::sort(c.seconds.begin(), c.seconds.end());
    std::printf("%s %.6f %.6f %ld %.6f\n", c.name.c_str(), c.seconds.front(),
                c.seconds[c.seconds.size() / 2], c.max_rss_kib, c.min_cpu_seconds);
  }
  return 0;
}
