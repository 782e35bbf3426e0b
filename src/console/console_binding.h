// Binding the console to the platform: the standard handles and the console
// control handler.
#pragma once

namespace zw {

struct Console;

// What the console has bound so far. The port stands for both standard
// handles, so binding them is one step for input and output alike.
struct ConsoleHandles {
  bool bound = false;                  // the standard handles were taken
  bool ctrl_handler_installed = false;
  // Standard input was found not to be a console. It never becomes one
  // again (a terminal that hangs up stays gone), so it is asked no more.
  bool input_redirected = false;
};

// Takes the standard handles on the first call, from whichever side comes
// first: the port opens the console, and a console input gets processed
// input (Ctrl+C as a control event) added to its mode. Later calls do
// nothing.
void bind_console_handles(Console& con);
// Registers the control handler once, with `con` as its context: close,
// logoff and shutdown hand a close key to con's key queue; Ctrl+C and
// Ctrl+Break are left to the platform.
void install_ctrl_handler(Console& con);
// Removes it again at exit, when it was registered.
void remove_ctrl_handler(Console& con);

}  // namespace zw
