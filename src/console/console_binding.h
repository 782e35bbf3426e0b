// Console handles and the console control handler.
#pragma once

namespace zw {

struct Console;

struct ConsoleHandles {
  bool filled = false;
};

enum class HandleKind { INPUT, OUTPUT };

// Binds the standard handles on first use: processed input is added to a
// console input's mode. The port stands for both handles.
void console_handle(Console& con, HandleKind which);
// Registers the control handler once.
void install_ctrl_handler(Console& con);
// Removes it again at exit, when it was registered.
void remove_ctrl_handler(Console& con);
// Close, logoff and shutdown queue the close key; Ctrl+C and Ctrl+Break are
// left to the platform. Runs on another thread or in a signal handler.
bool ctrl_handler(int event);

}  // namespace zw
