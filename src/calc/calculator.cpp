#include "calc/calculator.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "calc/operations.h"
#include "console/console.h"

namespace zw {

namespace {

constexpr std::string_view BANNER = "### Zahlwerk-ZW ### V." ZW_BANNER_VERSION " ###";
constexpr std::string_view HEADING = "###Kommandozeilenparameter###";
constexpr std::string_view PROMPT_OPERATION = "Operation: ";
constexpr std::string_view PROMPT_NUMBER1 = "Nummmer 1: ";
constexpr std::string_view PROMPT_NUMBER2 = "Nummmer 2: ";
constexpr std::string_view END_KEY = "\x1b";

// True when `operation` is the code of an operation that takes one number;
// every other text, a code or not, is asked for two.
bool takes_one_number(const std::string& operation) {
  for (const Operation& op : OPERATIONS) {
    if (op.one_number && compare_text(operation, op.code) == 0) return true;
  }
  return false;
}

void ask(Console& con, std::string_view prompt) {
  input_prompt(con, prompt, QuestionMark::OMIT, AfterLine::NEW_LINE);
}

}  // namespace

int compare_text(std::optional<std::string_view> left, std::optional<std::string_view> right) {
  if (!left && !right) return 0;
  if (!right) return left->empty() ? 0 : 1;
  if (!left) return right->empty() ? 0 : -1;
  // Byte by byte: the codes are one or two bytes long and every cycle makes
  // some twenty comparisons, where a library call costs more than the work.
  const size_t common = std::min(left->size(), right->size());
  for (size_t i = 0; i < common; ++i) {
    const unsigned char l = static_cast<unsigned char>((*left)[i]);
    const unsigned char r = static_cast<unsigned char>((*right)[i]);
    if (l != r) return l < r ? -1 : 1;
  }
  if (left->size() == right->size()) return 0;
  return left->size() > right->size() ? 1 : -1;
}

void run_calculator(Console& con) {
  CalculatorState state;
  // Banner, heading, an empty line, the menu in print zones, an empty line.
  print_text(con, 0, BANNER, END_LINE);
  print_text(con, 0, HEADING, END_LINE);
  print_text(con, 0, "", END_LINE);
  for (const Operation& op : OPERATIONS) {
    const bool last = &op == std::end(OPERATIONS) - 1;
    print_text(con, 0, op.menu_entry, last ? END_LINE : END_ZONE);
  }
  print_text(con, 0, "", END_LINE);

  for (;;) {
    ask(con, PROMPT_OPERATION);
    input_text(con, &state.operation);

    const bool one_number = takes_one_number(state.operation);
    ask(con, PROMPT_NUMBER1);
    input_double(con, &state.number1);
    if (!one_number) {
      ask(con, PROMPT_NUMBER2);
      input_double(con, &state.number2);
    }

    for (const Operation& op : OPERATIONS) {
      if (compare_text(state.operation, op.code) != 0) continue;
      state.result = op.formula(state.result, state.number1, state.number2);
      print_text(con, 0, op.label, 0);
      print_double(con, 0, state.result, END_LINE);
    }
    if (compare_text(state.operation, QUESTION_TEXT) == 0) print_text(con, 0, ANSWER_TEXT, END_LINE);

    if (compare_text(poll_key(con), END_KEY) == 0) break;
    // Input that has ended can bring no Escape: the program ends after the
    // cycle in which the input ran out.
    if (input_ended(con)) break;
  }
}

}  // namespace zw
