// Terminal modes: every setting the port makes on a terminal goes through
// here, and so through one call that is tried again when a signal
// interrupts it.
#pragma once

#include <termios.h>

#include "platform/console_port.h"

namespace zw {

// Sets a terminal's settings, again when a signal interrupted the call.
bool set_terminal_settings(int fd, int when, const termios& settings);

// Notes the settings of terminal `fd` as they are now, to give back on
// every way out, and switches it to raw input with the signal keys kept;
// `raw` receives the raw settings.
bool enter_raw_input(int fd, termios* raw);
// Raw input again after a resume. Settings the shell set while the program
// was stopped are the ones to give back at the end; the program's own raw
// ones, still in place after a SIGCONT without a stop, never are.
bool retake_raw_input(int fd, termios* raw);

// `saved` made raw for the wait for a cursor report on a terminal that is
// not the program's input: no echo, no line editing, output and signal
// keys as they were.
termios answer_settings(const termios& saved);

// The signal the line discipline raises for the control byte this key
// sends under `settings` (its intr, quit and susp characters), 0 for none.
int signal_of_key(const termios& settings, const KeyEventRecord& key);

}  // namespace zw
