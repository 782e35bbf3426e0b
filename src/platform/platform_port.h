// The console port of the platform this program was built for.
#pragma once

#include <memory>

#include "platform/console_port.h"

namespace zw {

// Binds standard input and output as they are (console, terminal, file or
// pipe). Destroying the port restores whatever it changed.
std::unique_ptr<ConsolePort> make_platform_port();

}  // namespace zw
