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
  // Room for reads past the block's last bytes, whose bytes are never
  // counted: the item scan reads eight bytes at a time, and a number item
  // (at most 67 bytes) is copied in 64-byte pieces.
  char block[STDIN_BLOCK + 64];
};

void reset_input_context(InputContext& in);

// What input_prompt adds around the typed line on a console; redirected
// input shows neither.
enum class QuestionMark : uint8_t { OMIT, ADD };  // "? " after the prompt
enum class AfterLine : uint8_t { STAY, NEW_LINE };  // a line end after the typed line

// Starts a statement: on a console shows the prompt and takes a typed line;
// on redirected input shows nothing and items come from the stream.
void input_prompt(Console& con, std::string_view prompt, QuestionMark mark, AfterLine after);
// A text item in a buffer of its own.
struct TextItem {
  int32_t length = 0;
  char bytes[INPUT_TEXT_MAX + 1] = {};
  std::string_view view() const { return {bytes, static_cast<size_t>(length)}; }
};

// Take the next item as a text (up to its first zero byte) or as a number;
// an item past the end of input is the empty text or 0.
void input_text(Console& con, TextItem* dest);
void input_double(Console& con, double* dest);

// How an item is split: a text item keeps blanks and "d"/"D"; a number item
// ends at a blank and reads "d"/"D" as an exponent letter.
enum class ItemMode : uint8_t { TEXT, NUMBER };

struct Item {
  int32_t length = 0;
  bool looks_float = false;
};
// Splits the next item into `buffer` (limit + 1 bytes, zero-terminated).
Item input_next_item(Console& con, char* buffer, int32_t limit, ItemMode mode);
int input_getc(Console& con);
void input_ungetc(Console& con, int ch);
bool stdin_is_redirected(Console& con);
// Reads the next block of redirected standard input when the last one is
// used up (given-back bytes included). False when no input can follow:
// redirected input at its end. A typed line can always follow on a
// console: true, and nothing read.
bool read_ahead(Console& con);

}  // namespace zw
