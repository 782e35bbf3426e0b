#include "console/console_binding.h"

#include "console/console.h"

namespace zw {

namespace {

// Runs on another thread or in a signal handler, so it only counts the close
// key into the queue's atomic hand-over; the next pump queues it.
bool hand_over_ctrl_event(void* context, ConsoleEvent event) {
  switch (event) {
    case ConsoleEvent::CLOSE:
    case ConsoleEvent::LOGOFF:
    case ConsoleEvent::SHUTDOWN:
      if (auto* con = static_cast<Console*>(context)) con->keys.handover.fetch_add(1);
      return true;
    default:
      return false;
  }
}

}  // namespace

void bind_console_handles(Console& con) {
  if (con.handles.bound) return;
  con.port->open_console();
  if (con.port->input_is_console()) con.port->enable_processed_input();
  con.handles.bound = true;
}

void install_ctrl_handler(Console& con) {
  if (con.handles.ctrl_handler_installed) return;
  con.handles.ctrl_handler_installed = true;
  con.port->add_ctrl_handler(&hand_over_ctrl_event, &con);
}

void remove_ctrl_handler(Console& con) {
  if (!con.handles.ctrl_handler_installed) return;
  con.port->remove_ctrl_handler(&hand_over_ctrl_event);
  con.handles.ctrl_handler_installed = false;
}

}  // namespace zw
