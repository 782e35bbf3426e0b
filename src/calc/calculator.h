// The calculator: banner and menu, then cycles of operation code, numbers,
// formula, label and result until Escape is polled after a cycle.
#pragma once

#include <optional>
#include <string_view>

namespace zw {

struct Console;

// Runs the start texts and the loop; returns when the loop ends (Escape
// after a cycle, or redirected input exhausted).
void run_calculator(Console& con);

// Unsigned bytes over the common length, then the longer text is greater;
// an absent operand (nullopt) is not the same as an empty text.
int compare_text(std::optional<std::string_view> left, std::optional<std::string_view> right);

}  // namespace zw
