// The standard descriptors as the POSIX port meets them: terminals, files
// or pipes, possibly closed, possibly left non-blocking by whoever shares
// them. The port works on the descriptors it is given (standard input and
// output, or a test's).
#pragma once

#include <cstddef>

#include "platform/terminal_text.h"

namespace zw {

// A standard descriptor the program was started without stays taken, so
// that no descriptor the program opens becomes standard input or output.
void keep_standard_descriptors();

// True when `fd` is a terminal that can place its cursor: one whose TERM
// (`term`, nullptr for none) is "dumb" is written to as a file.
bool is_screen(int fd, const char* term);
// True when both descriptors are the same terminal device.
bool same_terminal(int a, int b);
// How the terminal shows text under the locale set by now: ASCII when the
// locale does not tell (the terminal may say: terminal_handshake.h).
TextMode locale_text_mode();
// The size of terminal `fd`, 80 x 24 when it does not say.
void read_screen_size(int fd, int* columns, int* rows);

// Writes all of `count` bytes to `fd`, waiting while a non-blocking one is
// full; false when it failed (errno says why).
bool write_all_to(int fd, const char* bytes, size_t count);
// write_all_to `fd` as the block writer's sink (output_block.h).
struct DescriptorSink {
  int fd;
  bool operator()(const char* bytes, size_t count) const { return write_all_to(fd, bytes, count); }
};
// Up to `count` bytes of `fd`, waiting while a non-blocking one is empty; 0
// at its end or when it failed.
size_t read_some(int fd, char* buffer, size_t count);

}  // namespace zw
