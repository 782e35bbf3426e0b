// A program started on a pseudo-terminal the way a terminal emulator starts
// a shell and the shell starts a job: a session process leads a new session
// with the terminal as its controlling terminal, and runs the program as the
// foreground process group, every signal at its default and none blocked,
// whatever the caller had ignored or blocked. So Ctrl+C interrupts it and
// Ctrl+Z stops it as at a real terminal. The session process reports each
// wait status of the program (stopped or ended) on a pipe.
//
// Shared by the end-to-end tests and the bench and soak runner.
#pragma once

#include <sys/types.h>

#include <vector>

namespace zw::pty {

struct Job {
  pid_t session = -1;   // the session process, a child of the caller
  pid_t program = -1;   // the program, a child of the session process
  int reports = -1;     // read end of the report pipe, non-blocking
};

// One change of the program's state, as waitpid(WUNTRACED) gives it.
struct Report {
  int status = 0;
  long peak_rss_kib = 0;  // the program's, once it has ended
};

// Starts argv[0] (searched on PATH) on the terminal whose other side is
// `terminal`. Standard input and output are `in` and `out` where not -1,
// else the terminal; standard error is the terminal. `env` is the
// environment (nullptr: the caller's). The descriptors in `close_in_child`
// are closed in both children. The job's session and program are -1 when
// the start failed.
Job spawn(int terminal, int in, int out, const std::vector<int>& close_in_child, char* const argv[],
          char* const env[]);

// The next report when one has come; false otherwise (does not wait).
bool next_report(const Job& job, Report* report);

}  // namespace zw::pty
