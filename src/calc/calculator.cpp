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
// from the code's bytes, (first + 3 * second) mod 32, holds the one code
// that may be there, as its bytes and length in one key. The codes are one
// or two bytes long, so the key compares the whole text, as compare_text
// would: find_operation's test holds the two alike.
constexpr uint32_t code_key(std::string_view text) {
  const unsigned first = static_cast<unsigned char>(text[0]);
  const unsigned second = text.size() == 2 ? static_cast<unsigned char>(text[1]) : 0;
  return first | second << 8 | static_cast<uint32_t>(text.size()) << 16;
}
constexpr unsigned code_slot(uint32_t key) { return ((key & 0xFF) + 3 * ((key >> 8) & 0xFF)) & 31; }

struct CodeSlot {
  uint32_t key = 0;  // 0: no code (every code has a length)
  int row = -1;
};

constexpr std::array<CodeSlot, 32> code_slots() {
  std::array<CodeSlot, 32> slots{};
  for (int row = 0; row < OPERATION_COUNT; ++row) {
    const std::string_view code = OPERATIONS[row].code;
    if (code.empty() || code.size() > 2) throw "a code of one or two bytes";
    CodeSlot& slot = slots[code_slot(code_key(code))];
    if (slot.row >= 0) throw "two codes share a slot";
    slot = CodeSlot{code_key(code), row};
  }
  return slots;
}

constexpr std::array<CodeSlot, 32> CODE_SLOTS = code_slots();

}  // namespace

int compare_text(std::optional<std::string_view> left, std::optional<std::string_view> right) {
  if (!left && !right) return 0;
  if (!right) return left->empty() ? 0 : 1;
  if (!left) return right->empty() ? 0 : -1;
  // Byte by byte: a polled key's text is a byte or two, where a library call
  // costs more than the work.
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
  if (text.empty() || text.size() > 2) return -1;
  const uint32_t key = code_key(text);
  const CodeSlot& slot = CODE_SLOTS[code_slot(key)];
  return slot.key == key ? slot.row : -1;
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
