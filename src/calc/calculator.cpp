#include "calc/calculator.h"

#include <algorithm>
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

constexpr KeyCode END_KEY_CODE = 27;  // Escape

void ask(Console& con, std::string_view prompt) {
  input_prompt(con, prompt, QuestionMark::OMIT, AfterLine::NEW_LINE);
}

}  // namespace

int find_operation(std::string_view text) {
  // One look at the length and the bytes instead of 13 comparisons; the
  // indexes are the rows of OPERATIONS.
  if (text.size() == 1) {
    switch (text[0]) {
      case '+': return 0;
      case '-': return 1;
      case 'x': return 2;
      case '/': return 3;
      case 'h': return 4;
      default: return -1;
    }
  }
  if (text.size() != 2) return -1;
  const char second = text[1];
  switch (text[0]) {
    case 'k':
      return second == 'd' ? 5 : second == 'r' ? 6 : second == 'u' ? 7 : second == 'f' ? 8 : -1;
    case 'q':
      return second == 'u' ? 9 : second == 'f' ? 10 : -1;
    case 'r':
      return second == 'u' ? 11 : second == 'f' ? 12 : -1;
    default:
      return -1;
  }
}

bool is_question_text(std::string_view text) { return text == QUESTION_TEXT; }

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

    // The polled key's text is the Escape byte exactly when its code is 27.
    KeyCode key;
    if (take_key(con, &key) && key == END_KEY_CODE) break;
    // Input that has ended can bring no Escape: the program ends after the
    // cycle in which the input ran out.
    if (input_ended(con)) break;
  }
}

}  // namespace zw
