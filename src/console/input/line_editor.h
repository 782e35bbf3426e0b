// Line editor: one typed line with echo and insert-only editing.
#pragma once

#include <string>
#include <string_view>

namespace zw {

struct Console;

// The longest wait between two looks at the key queue.
constexpr int KEY_WAIT_MS = 25;

// Reads keys until Enter; returns the line without the Enter and leaves the
// cursor just after it on the screen, its visibility as it was. `prompt` is
// what stands in front of the line (one cell a byte), drawn again with the
// line when the screen changes size.
std::string edit_line(Console& con, std::string_view prompt);

}  // namespace zw
