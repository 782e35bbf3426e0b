#include "calc/calculator.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

#include "calc/operations.h"
#include "console/console.h"

namespace zw {

namespace {

constexpr std::string_view BANNER = "### Zahlwerk-ZW ### V." ZW_BANNER_VERSION " ###";
constexpr std::string_view HEADING = "###Kommandozeilenparameter###";
constexpr std::string_view PROMPT_OPERATION = "Operation: ";
constexpr std::string_view PROMPT_NUMBER1 = "Nummmer 1: ";
constexpr std::string_view PROMPT_NUMBER2 = "Nummmer 2: ";
constexpr std::string_view END_KEY = "\x1b";  // Escape, as the keyboard poll hands it out

void ask(Console& con, std::string_view prompt) {
  input_prompt(con, prompt, QuestionMark::OMIT, AfterLine::NEW_LINE);
}

// The codes of OPERATIONS by their rows, found by one table look: a slot
// from the code's first two bytes, (first + 3 * second) mod 32, holds the
// row of the one code that may be there, and the text is compared with it.
constexpr unsigned code_slot(std::string_view code) {
  const unsigned first = static_cast<unsigned char>(code[0]);
  const unsigned second = code.size() >= 2 ? static_cast<unsigned char>(code[1]) : 0;
  return (first + 3 * second) & 31;
}

constexpr std::array<int8_t, 32> code_slots() {
  std::array<int8_t, 32> slots{};
  slots.fill(-1);
  for (int row = 0; row < OPERATION_COUNT; ++row) {
    int8_t& slot = slots[code_slot(OPERATIONS[row].code)];
    if (slot >= 0) throw "two codes share a slot";
    slot = static_cast<int8_t>(row);
  }
  return slots;
}

constexpr std::array<int8_t, 32> CODE_SLOTS = code_slots();

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

int find_operation(std::string_view text) {
  if (text.empty()) return -1;
  const int row = CODE_SLOTS[code_slot(text)];
  return row >= 0 && compare_text(text, OPERATIONS[row].code) == 0 ? row : -1;
}

bool is_question_text(std::string_view text) { return compare_text(text, QUESTION_TEXT) == 0; }

namespace {

// What one cycle reads and what stays from cycle to cycle.
struct CalculatorState {
  TextItem operation;
  double number1 = 0;
  double number2 = 0;
  double result = 0;
};

}  // namespace

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

    // The codes differ from one another and from the question text: one
    // look finds the one row, if any, that the text equals.
    const int op = find_operation(state.operation.view());
    const bool one_number = op >= 0 && OPERATIONS[op].one_number;
    ask(con, PROMPT_NUMBER1);
    input_double(con, &state.number1);
    if (!one_number) {
      ask(con, PROMPT_NUMBER2);
      input_double(con, &state.number2);
    }

    if (op >= 0) {
      const Operation& row = OPERATIONS[op];
      state.result = row.formula(state.result, state.number1, state.number2);
      print_result_line(con, 0, row.label, state.result);
    } else if (is_question_text(state.operation.view())) {
      print_text(con, 0, ANSWER_TEXT, END_LINE);
    }

    if (compare_text(poll_key(con), END_KEY) == 0) break;
    // Input that has ended can bring no Escape: the program ends after the
    // cycle in which the input ran out.
    if (!read_ahead(con)) break;
  }
}

}  // namespace zw
