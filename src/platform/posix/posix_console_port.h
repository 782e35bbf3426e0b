// The console port on POSIX, on the descriptors it is given: the
// program's standard input and output (make_platform_port), or a test's.
#pragma once

#include <memory>

#include "platform/console_port.h"

namespace zw {

// `term` is what TERM names, nullptr for none. Destroying the port gives
// back whatever it changed.
std::unique_ptr<ConsolePort> make_posix_port(int input_fd, int output_fd, const char* term);

}  // namespace zw
