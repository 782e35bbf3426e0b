#include "console/console.h"

namespace zw {

void reset_console(Console& con, ConsolePort* port) {
  // A handler left registered would hand close keys to the old state.
  remove_ctrl_handler(con);
  con.port = port;
  con.handles = ConsoleHandles{};
  con.device = PrintDevice{};
  con.screen = ScreenState{};
  con.screen.redirected = port != nullptr ? port->redirected_output() : nullptr;
  reset_input_context(con.input);
  reset_key_queue(con.keys);
  con.last_error = 0;
}

}  // namespace zw
