// What the way out does with the terminal's descriptors. Every operation is
// async-signal-safe: the guard calls them from its signal handlers.
#pragma once

#include <cstddef>

#include "platform/posix/terminal_guard.h"

namespace zw {

// Reads what the terminal sends on `fd`, a byte at a time, up to the end of
// the last answer owed (`last`: a cursor report ESC [ digits ; digits R, or
// the device attributes ESC [ ? ... c; the answers before it are read with
// it), for at most `wait_ms`. The answers would otherwise reach whoever
// reads the terminal next: the shell. What follows the last answer stays.
void read_past_answer(int fd, LastAnswer last, int wait_ms);
// Whether this process's group may take the terminal: false only when the
// terminal names another foreground job. A job stopped with Ctrl+Z and then
// killed from the shell (kill %1) is not in the foreground: a write would
// land on the shell's line, and setting the terminal would stop it again
// (SIGTTOU) instead of letting it end. A terminal that is not the
// controlling one (or no longer is) names none and is given back.
bool in_foreground(int fd);
// Writes what goes out without waiting: output the terminal does not take
// (not read, stopped by flow control) must not hold up the way out. The
// non-blocking flag belongs to the file description, which the shell shares,
// so it is put back at once.
void write_without_waiting(int fd, const char* bytes, size_t count);

}  // namespace zw
