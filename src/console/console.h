// The program-wide state records of the console layer, in one place that
// start-up zeroes and a test can zero again.
#pragma once

#include "console/console_binding.h"
#include "console/input/input_statement.h"
#include "console/input/keyboard.h"
#include "console/output/print_statement.h"
#include "console/output/screen_writer.h"
#include "platform/console_port.h"

namespace zw {

struct Console {
  ConsolePort* port = nullptr;
  ConsoleHandles handles;
  PrintDevice device;
  ScreenState screen;
  InputContext input;
  KeyQueue keys;
  int last_error = 0;  // 0 success, 1 no such device
};

// Zeroes every record and binds the console to `port`.
void reset_console(Console& con, ConsolePort* port);

}  // namespace zw
