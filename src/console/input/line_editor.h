// Line editor: one typed line with echo and insert-only editing.
#pragma once

#include <string>

namespace zw {

struct Console;

// The longest wait between two looks at the key queue.
constexpr int KEY_WAIT_MS = 25;

// Reads keys until Enter; returns the line without the Enter and leaves the
// cursor just after it on the screen, its visibility as it was.
std::string edit_line(Console& con);

}  // namespace zw
