// Fuzz target: the input statement on the piped road. Any bytes come in on
// standard input, delivered in small reads; items are split off in text or
// number mode and converted. Each item must equal what a plain model of the
// splitting rules makes of the same bytes, and each number what the library
// conversions make of the item.
//
// Input: byte 0 chooses the read size, byte 1 the pattern of text and
// number items; the rest is standard input.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "console/console.h"
#include "console/number/number_input.h"
#include "fuzz/fuzz_bytes.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

// Standard input handed out a few bytes at a time, so that items and the
// bytes given back straddle the reads.
class ChunkedInput : public VirtualConsole {
 public:
  ChunkedInput() : VirtualConsole(80, 25, 25) {}
  size_t chunk = 1;
  size_t read_stdin(char* buffer, size_t count) override {
    return VirtualConsole::read_stdin(buffer, count < chunk ? count : chunk);
  }
};

constexpr int END = -1;

// The splitting rules written out plainly over a string.
struct Model {
  std::string in;
  size_t pos = 0;
  int getc() { return pos < in.size() ? static_cast<unsigned char>(in[pos++]) : END; }
  void ungetc(int c) {
    if (c != END) --pos;
  }
};

bool blank(int c) { return c == ' ' || c == '\t'; }

void model_after_item(Model& m, int c) {
  while (blank(c)) c = m.getc();
  if (c == ',' || c == '\n' || c == END) return;
  if (c == '\r') {
    const int next = m.getc();
    if (next != '\n') m.ungetc(next);
    return;
  }
  m.ungetc(c);
}

std::string model_item(Model& m, size_t limit, bool text_mode, bool* looks_float) {
  std::string item;
  bool in_quotes = false;
  bool ampersand = false;
  *looks_float = false;
  int c = m.getc();
  while (blank(c)) c = m.getc();
  if (c == END) return item;
  for (;;) {
    bool finished = false;
    if (c == '\n') {
      finished = true;
    } else if (c == '\r') {
      const int next = m.getc();
      if (next != '\n') m.ungetc(next);
      finished = true;
    } else if (c == ',' && !in_quotes) {
      finished = true;
    } else if (c == '"' && !in_quotes && item.empty()) {
      in_quotes = true;
    } else if (c == '"' && !in_quotes) {
      item += '"';
    } else if (c == '"' && text_mode) {
      model_after_item(m, m.getc());
      finished = true;
    } else if (c == '"') {
      in_quotes = false;
    } else if (c == '&') {
      item += '&';
      ampersand = true;
    } else if ((c == 'd' || c == 'D') && !text_mode && !ampersand) {
      item += c == 'd' ? 'e' : 'E';
      *looks_float = true;
    } else if (c == '.' || c == 'e' || c == 'E') {
      item += static_cast<char>(c);
      if (!ampersand) *looks_float = true;
    } else if (blank(c) && !in_quotes && !text_mode) {
      model_after_item(m, c);
      finished = true;
    } else {
      item += static_cast<char>(c);
    }
    if (finished) return item;
    c = m.getc();
    if (item.size() >= limit || c == END) {
      model_after_item(m, c);
      return item;
    }
  }
}

// Integer conversion by the rules: spaces, then an "&" radix form wrapping
// at the width, else the library's base 10 conversion.
uint64_t model_integer(const std::string& item, int bits) {
  size_t i = 0;
  while (i < item.size() && item[i] == ' ') ++i;
  if (i == item.size()) return 0;
  const uint64_t mask = bits == 32 ? 0xFFFFFFFFull : ~0ull;
  if (item.size() - i >= 2 && item[i] == '&') {
    unsigned radix = 8;
    size_t start = i + 1;
    const char r = item[i + 1];
    if (r == 'H' || r == 'h') radix = 16, start = i + 2;
    if (r == 'O' || r == 'o') radix = 8, start = i + 2;
    if (r == 'B' || r == 'b') radix = 2, start = i + 2;
    uint64_t value = 0;
    for (size_t j = start; j < item.size(); ++j) {
      const char c = item[j];
      unsigned d = 99;
      if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
      if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
      if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
      if (d >= radix) break;
      value = (value * radix + d) & mask;
    }
    return value;
  }
  return std::strtoull(item.c_str() + i, nullptr, 10) & mask;
}

double model_number(const std::string& item, bool looks_float) {
  if (looks_float || (item.size() > 18 && item[0] != '&')) return std::strtod(item.c_str(), nullptr);
  if (item.size() <= 9) return static_cast<double>(static_cast<int32_t>(model_integer(item, 32)));
  return static_cast<double>(static_cast<int64_t>(model_integer(item, 64)));
}

bool same_number(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

}  // namespace
}  // namespace zw

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zw;
  if (size < 2) return 0;
  Bytes bytes{data, size};
  const size_t chunk = 1 + bytes.next() % 8;
  const uint8_t pattern = bytes.next();
  const std::string input = bytes.rest();
  FuzzConsole<Console, ChunkedInput> f;
  f.port->chunk = chunk;
  f.port->redirect_output(true);
  f.port->redirect_input(input);
  Console& con = f.bind();
  input_prompt(con, "Operation: ", QuestionMark::OMIT, AfterLine::NEW_LINE);

  Model model{input};
  // Every item takes at least one byte, so this many rounds reach the end.
  for (size_t round = 0; round <= input.size() + 1; ++round) {
    const bool text_mode = (pattern >> (round % 8)) & 1;
    const int32_t limit = text_mode ? INPUT_TEXT_MAX : INPUT_NUMBER_MAX;
    // The item buffer at its exact size: a write past it is caught.
    auto buffer = std::make_unique<char[]>(static_cast<size_t>(limit) + 1);
    const ItemMode mode = text_mode ? ItemMode::TEXT : ItemMode::NUMBER;
    const Item item = input_next_item(con, buffer.get(), limit, mode);
    bool looks_float = false;
    const std::string want = model_item(model, static_cast<size_t>(limit), text_mode, &looks_float);
    if (item.length < 0 || item.length > limit || buffer[static_cast<size_t>(item.length)] != '\0') std::abort();
    if (std::string(buffer.get(), static_cast<size_t>(item.length)) != want) std::abort();
    if (!text_mode) {
      if (item.looks_float != looks_float) std::abort();
      // The conversion reads the item up to its zero byte, as the library does.
      const double got = item_to_double(buffer.get(), item.length, item.looks_float);
      if (!same_number(got, model_number(want, looks_float))) std::abort();
    }
    if (model.pos == input.size() && want.empty()) break;
  }
  if (read_ahead(con)) std::abort();
  return 0;
}
