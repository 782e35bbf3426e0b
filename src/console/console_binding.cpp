#include "console/console_binding.h"

#include <atomic>

#include "console/console.h"

namespace zw {

namespace {

// The console whose key queue the control handler hands close keys to.
// The handler runs on another thread or in a signal handler, so it reaches
// the queue only through this atomic pointer and the queue's atomic
// hand-over count.
std::atomic<Console*> g_handler_console{nullptr};

}  // namespace

void console_handle(Console& con, HandleKind) {
  if (con.handles.filled) return;
  if (con.port->input_is_console()) con.port->enable_processed_input();
  con.handles.filled = true;
}

void install_ctrl_handler(Console& con) {
  if (con.ctrl_handler_installed) return;
  con.ctrl_handler_installed = true;
  g_handler_console.store(&con);
  con.port->set_ctrl_handler(&ctrl_handler, true);
}

void remove_ctrl_handler(Console& con) {
  if (!con.ctrl_handler_installed) return;
  con.port->set_ctrl_handler(&ctrl_handler, false);
  con.ctrl_handler_installed = false;
  g_handler_console.store(nullptr);
}

bool ctrl_handler(int event) {
  switch (event) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      if (Console* con = g_handler_console.load()) con->keys.handover.fetch_add(1);
      return true;
    default:
      return false;
  }
}

}  // namespace zw
