// The standard descriptors as the POSIX port meets them: terminals, files
// or pipes, possibly closed, possibly left non-blocking by whoever shares
// them.
#pragma once

#include <cstddef>

#include "platform/posix/terminal_text.h"

namespace zw {

// A standard descriptor the program was started without stays taken, so
// that no descriptor the program opens becomes standard input or output.
void keep_standard_descriptors();

// True when standard output is a terminal that can place its cursor (a
// "dumb" one is written to as a file).
bool output_is_screen();
// True when both descriptors are the same terminal device.
bool same_terminal(int a, int b);
// How the terminal shows text under the locale set by now.
TextMode locale_text_mode();
// The terminal's size on standard output, 80 x 24 when it does not say.
void read_screen_size(int* columns, int* rows);

// Writes all of `count` bytes to standard output, waiting while a
// non-blocking one is full; false when it failed (errno says why).
bool write_stdout(const char* bytes, size_t count);
// Up to `count` bytes of standard input, waiting while a non-blocking one
// is empty; 0 at its end or when it failed.
size_t read_stdin_some(char* buffer, size_t count);

}  // namespace zw
