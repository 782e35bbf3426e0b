#include "console/input/input_statement.h"

#include <cstring>
#include <string>

#include "console/console.h"
#include "console/input/line_editor.h"
#include "console/input/piped_items.h"
#include "console/number/number_input.h"
#include "console/output/print_statement.h"
#include "console/output/screen_writer.h"

namespace zw {

namespace {

bool is_blank(int c) { return c == ' ' || c == '\t'; }

// Refills the block from standard input; false at the end of the stream.
bool refill_block(Console& con) {
  InputContext& in = con.input;
  if (in.at_end) return false;
  const size_t n = con.port->read_stdin(in.block, STDIN_BLOCK);
  in.block_pos = 0;
  in.block_len = n;
  if (n == 0) in.at_end = true;
  return n != 0;
}

// input_getc with its common case, a byte of the read block, kept inline.
inline int next_byte(Console& con) {
  InputContext& in = con.input;
  if (in.source == InputSource::STANDARD_DEVICE && in.putback_count == 0 && in.block_pos < in.block_len) {
    return static_cast<unsigned char>(in.block[in.block_pos++]);
  }
  return input_getc(con);
}

// The step after an item: blanks are skipped; a comma, LF or the end finish
// the item, CR takes a following LF with it, anything else starts the next
// item and is given back.
void finish_item(Console& con, int c) {
  while (is_blank(c)) c = next_byte(con);
  if (c == ',' || c == '\n' || c == INPUT_END) return;
  if (c == '\r') {
    const int next = next_byte(con);
    if (next != '\n') input_ungetc(con, next);
    return;
  }
  input_ungetc(con, c);
}

}  // namespace

void reset_input_context(InputContext& in) {
  in.source = InputSource::LINE;
  in.line.clear();
  in.pos = 0;
  in.putback_count = 0;
  in.block_pos = 0;
  in.block_len = 0;
  in.at_end = false;
}

bool stdin_is_redirected(Console& con) {
  ConsoleHandles& handles = con.handles;
  if (handles.input_redirected) return true;
  bind_console_handles(con);
  handles.input_redirected = !con.port->input_is_console();
  return handles.input_redirected;
}

bool read_ahead(Console& con) {
  if (!stdin_is_redirected(con)) return true;
  InputContext& in = con.input;
  if (in.source != InputSource::STANDARD_DEVICE) return true;
  if (in.putback_count > 0 || in.block_pos < in.block_len) return true;
  return refill_block(con);
}

namespace {

// Items come from the stream from now on; taking them never touches the
// line or its position.
void take_items_from_stdin(InputContext& in) {
  in.source = InputSource::STANDARD_DEVICE;
  in.line.clear();
  in.pos = 0;
}

// input_prompt but for its common piped case, kept out of line so that the
// piped road, three times a cycle, needs no stack frame.
[[gnu::noinline]] void start_statement(Console& con, std::string_view prompt, QuestionMark mark, AfterLine after) {
  if (!con.device.set_up) setup_print_device(con);
  InputContext& in = con.input;
  if (stdin_is_redirected(con)) {
    take_items_from_stdin(in);
    return;
  }
  in.line.clear();
  in.source = InputSource::LINE;
  in.pos = 0;
  write_console(con, "", 0, WRITE_FORCE);
  if (!prompt.empty()) print_text(con, 0, prompt, 0);
  std::string shown(prompt);
  if (mark == QuestionMark::ADD) {
    print_text(con, 0, "? ", 0);
    shown += "? ";
  }
  in.line = edit_line(con, shown);
  if (after == AfterLine::NEW_LINE) print_end(con, 0, END_LINE);
  con.last_error = 0;
}

}  // namespace

void input_prompt(Console& con, std::string_view prompt, QuestionMark mark, AfterLine after) {
  // Items come from the stream once a statement found standard input
  // redirected (the device set up then): it stays so, and there is nothing
  // to start.
  if (con.input.source == InputSource::STANDARD_DEVICE) return;
  start_statement(con, prompt, mark, after);
}

int input_getc(Console& con) {
  InputContext& in = con.input;
  if (in.source == InputSource::LINE) {
    if (static_cast<size_t>(in.pos) < in.line.size()) {
      return static_cast<unsigned char>(in.line[static_cast<size_t>(in.pos++)]);
    }
    return INPUT_END;
  }
  if (in.putback_count > 0) return in.putback[--in.putback_count];
  if (in.block_pos == in.block_len && !refill_block(con)) return INPUT_END;
  return static_cast<unsigned char>(in.block[in.block_pos++]);
}

void input_ungetc(Console& con, int ch) {
  if (ch == INPUT_END) return;
  InputContext& in = con.input;
  if (in.source == InputSource::LINE) {
    if (in.pos > 0) --in.pos;
    return;
  }
  if (in.putback_count < 4) in.putback[in.putback_count++] = ch;
}

namespace {

// The splitter, byte by byte, going on with an item whose first
// item.length bytes are in `buffer` already; with none, it starts with
// the blanks before the item.
Item split_item(Console& con, char* buffer, int32_t limit, ItemMode mode, Item item) {
  const bool text_mode = mode == ItemMode::TEXT;
  bool in_quotes = false;
  bool ampersand_seen = false;
  int32_t n = item.length;
  int c = next_byte(con);
  if (n == 0) {
    while (is_blank(c)) c = next_byte(con);
    if (c == INPUT_END) {
      buffer[0] = '\0';
      return Item{};
    }
  } else if (n >= limit || c == INPUT_END) {
    finish_item(con, c);
    buffer[n] = '\0';
    return item;
  }
  for (;;) {
    if (c == '\n') break;
    if (c == '\r') {
      const int next = next_byte(con);
      if (next != '\n') input_ungetc(con, next);
      break;
    }
    if (c == ',' && !in_quotes) break;
    if (c == '"') {
      if (!in_quotes && n == 0) {
        in_quotes = true;
      } else if (!in_quotes) {
        buffer[n++] = '"';
      } else if (text_mode) {
        finish_item(con, next_byte(con));
        break;
      } else {
        in_quotes = false;
      }
    } else if (c == '&') {
      buffer[n++] = '&';
      ampersand_seen = true;
    } else if ((c == 'd' || c == 'D') && !text_mode && !ampersand_seen) {
      buffer[n++] = c == 'd' ? 'e' : 'E';
      item.looks_float = true;
    } else if (c == '.' || c == 'e' || c == 'E') {
      buffer[n++] = static_cast<char>(c);
      if (!ampersand_seen) item.looks_float = true;
    } else if (is_blank(c) && !in_quotes && !text_mode) {
      finish_item(con, c);
      break;
    } else {
      buffer[n++] = static_cast<char>(c);
    }
    c = next_byte(con);
    if (n >= limit || c == INPUT_END) {
      finish_item(con, c);
      break;
    }
  }
  buffer[n] = '\0';
  item.length = n;
  return item;
}

}  // namespace

Item input_next_item(Console& con, char* buffer, int32_t limit, ItemMode mode) {
  Item item;
  if (take_piped_item(con.input, mode, limit, buffer, &item, nullptr) == PipedItem::WHOLE) return item;
  return split_item(con, buffer, limit, mode, item);
}

void input_text(Console& con, TextItem* dest) {
  const Item item = input_next_item(con, dest->bytes, INPUT_TEXT_MAX, ItemMode::TEXT);
  // The text ends at the item's first zero byte; the piped road stops
  // before one, and most items are a byte or two.
  int32_t length = 0;
  while (length < item.length && dest->bytes[length] != '\0') ++length;
  dest->length = length;
  con.last_error = 0;
}

void input_double(Console& con, double* dest) {
  char buffer[INPUT_NUMBER_MAX + 1];
  Item item;
  switch (take_piped_item(con.input, ItemMode::NUMBER, INPUT_NUMBER_MAX, buffer, &item, dest)) {
    case PipedItem::NUMBER:
      break;
    case PipedItem::REST:
      item = split_item(con, buffer, INPUT_NUMBER_MAX, ItemMode::NUMBER, item);
      [[fallthrough]];
    case PipedItem::WHOLE:
      *dest = item_to_double(buffer, item.length, item.looks_float);
      break;
  }
  con.last_error = 0;
}

}  // namespace zw
