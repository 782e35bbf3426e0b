// The calculator: banner and menu, then cycles of operation code, numbers,
// formula, label and result until Escape is polled after a cycle.
#pragma once

#include <optional>
#include <string_view>

namespace zw {

struct Console;

// Prints the start texts and runs the loop; returns when the loop ends
// (Escape polled after a cycle, or the end of input).
void run_calculator(Console& con);

// The row of OPERATIONS whose code equals `text`, -1 when none does: the
// result of comparing `text` with every code in turn.
int find_operation(std::string_view text);
// True when `text` equals the question text.
bool is_question_text(std::string_view text);

// Unsigned bytes over the common length, then the longer text is greater;
// an absent operand (nullopt) is not the same as an empty text.
int compare_text(std::optional<std::string_view> left, std::optional<std::string_view> right);

}  // namespace zw
