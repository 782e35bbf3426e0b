// Input statement: a prompt and a typed line on the console, or items read
// straight from the standard input stream when it is redirected; items are
// split at commas and converted to texts or numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zw {

struct Console;

constexpr int INPUT_TEXT_MAX = 4096;
constexpr int INPUT_NUMBER_MAX = 67;
constexpr int INPUT_END = -1;  // end of input, never equal to a byte
constexpr size_t STDIN_BLOCK = 64 * 1024;

enum class InputSource : uint8_t { LINE, STANDARD_DEVICE };

struct InputContext {
  InputSource source = InputSource::LINE;
  std::string line;
  int32_t pos = 0;
  // The standard device's put-back store (one byte is all splitting uses).
  int putback[4] = {};
  int putback_count = 0;
  // Redirected standard input, read in blocks.
  size_t block_pos = 0;
  size_t block_len = 0;
  bool at_end = false;
  char block[STDIN_BLOCK];
};

void reset_input_context(InputContext& in);

void input_prompt(Console& con, std::string_view prompt, bool question_mark, bool line_end);
int input_text(Console& con, std::string* dest);
int input_double(Console& con, double* dest);

struct Item {
  int32_t length = 0;
  bool looks_float = false;
};
// Splits the next item into `buffer` (limit + 1 bytes, zero-terminated).
Item input_next_item(Console& con, char* buffer, int32_t limit, bool text_mode);
int input_getc(Console& con);
void input_ungetc(Console& con, int ch);
bool stdin_is_redirected(Console& con);
// True once redirected input has no byte left, given-back bytes included.
bool stdin_exhausted(Console& con);

// Integer conversion with the &H, &O, &B radix forms.
int32_t text_to_int32(const char* text, int32_t length);
int64_t text_to_int64(const char* text, int32_t length);
// The number of a split number item by the integer and strtod roads.
double item_to_double(const char* item, int32_t length, bool looks_float);
// strtod rules, "." as the decimal point whatever the locale.
double text_to_double(const char* text);

}  // namespace zw
