#include "app/program.h"

#include <clocale>
#include <cstdlib>
#include <memory>

#include "calc/calculator.h"
#include "console/console.h"
#include "platform/fp_mode.h"
#include "platform/platform_port.h"

namespace zw {

namespace {

// The process's one console and its port; only the entry and the exit-time
// action touch these.
Console* g_console = nullptr;
ConsolePort* g_port = nullptr;

void run_exit_actions() {
  if (g_console != nullptr) {
    remove_ctrl_handler(*g_console);
    g_console->port->flush();
  }
  delete g_port;  // restores the terminal
  g_port = nullptr;
}

}  // namespace

void runtime_init(Console& con, ConsolePort* port) {
  reset_console(con, port);
  std::setlocale(LC_CTYPE, "");
}

void start_program(int, char**) {
  // The command line is accepted and ignored.
  set_arithmetic_mode();
  std::unique_ptr<ConsolePort> port = make_platform_port();
  // Not zero-filled: the input block alone is 64 KiB, and runtime_init sets
  // every field that is read before it is written.
  auto con = std::make_unique_for_overwrite<Console>();
  runtime_init(*con, port.get());
  g_port = port.release();
  g_console = con.release();
  std::atexit(run_exit_actions);
  run_calculator(*g_console);
  end_program(0);
}

void end_program(int status) { std::exit(status); }

}  // namespace zw
