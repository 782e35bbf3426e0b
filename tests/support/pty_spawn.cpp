#include "support/pty_spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

extern char** environ;

namespace zw::pty {
namespace {

// Every signal at its default and none blocked. A signal ignored here would
// stay ignored across exec; one caught is reset by exec anyway.
void default_signals() {
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig != SIGKILL && sig != SIGSTOP) ::signal(sig, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

[[noreturn]] void run_program(int terminal, int in, int out, char* const argv[], char* const env[]) {
  ::setpgid(0, 0);
  ::signal(SIGTTOU, SIG_IGN);  // taking the foreground from the background
  ::tcsetpgrp(terminal, ::getpgrp());
  default_signals();
  const rlimit no_core{0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
  ::dup2(in >= 0 ? in : terminal, 0);
  ::dup2(out >= 0 ? out : terminal, 1);
  ::dup2(terminal, 2);
  for (int fd : {terminal, in, out}) {
    if (fd > 2) ::close(fd);
  }
  ::execvpe(argv[0], argv, env != nullptr ? env : environ);
  ::_exit(127);
}

// The session process: leader of a new session on the terminal, in the
// place of a shell. It outlives a hang-up to report the program's end.
[[noreturn]] void run_session(int terminal, int in, int out, int report_fd, char* const argv[],
                              char* const env[]) {
  ::setsid();
  ::ioctl(terminal, TIOCSCTTY, 0);
  default_signals();
  ::signal(SIGHUP, SIG_IGN);
  const pid_t program = ::fork();
  if (program == 0) {
    ::close(report_fd);
    run_program(terminal, in, out, argv, env);
  }
  // Both set the group, so that it exists before either goes on.
  ::setpgid(program, program);
  for (int fd : {in, out}) {
    if (fd > 2) ::close(fd);
  }
  [[maybe_unused]] ssize_t w = ::write(report_fd, &program, sizeof program);
  for (;;) {
    Report report;
    rusage usage{};
    if (::wait4(program, &report.status, WUNTRACED, &usage) < 0) {
      if (errno == EINTR) continue;
      ::_exit(0);
    }
    report.peak_rss_kib = usage.ru_maxrss;
    w = ::write(report_fd, &report, sizeof report);
    if (WIFEXITED(report.status) || WIFSIGNALED(report.status)) ::_exit(0);
  }
}

}  // namespace

Job spawn(int terminal, int in, int out, const std::vector<int>& close_in_child, char* const argv[],
          char* const env[]) {
  Job job;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return job;
  job.session = ::fork();
  if (job.session == 0) {
    ::close(fds[0]);
    for (int fd : close_in_child) ::close(fd);
    run_session(terminal, in, out, fds[1], argv, env);
  }
  ::close(fds[1]);
  if (job.session < 0 || ::read(fds[0], &job.program, sizeof job.program) != sizeof job.program) {
    ::close(fds[0]);
    job.session = job.program = -1;
    return job;
  }
  ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
  job.reports = fds[0];
  return job;
}

bool next_report(const Job& job, Report* report) {
  return ::read(job.reports, report, sizeof *report) == static_cast<ssize_t>(sizeof *report);
}

}  // namespace zw::pty
