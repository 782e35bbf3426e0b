// Process entry, start-up and shutdown.
#pragma once

namespace zw {

struct Console;
class ConsolePort;

// Start-up in order: arithmetic mode, zeroed console state, character-type
// locale; then the calculator. Does not return.
[[noreturn]] void start_program(int argc, char** argv);

// Zeroes the console state, binds it to `port` and takes the character-type
// locale from the environment (the number format stays "C").
void runtime_init(Console& con, ConsolePort* port);

// Ends the process with `status` after the exit-time actions: the control
// handler removed, buffered output handed on, the platform restored.
[[noreturn]] void end_program(int status);

}  // namespace zw
