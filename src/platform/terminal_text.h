// Characters between the program's 8-bit code page (Windows-1252) and the
// Unicode of a terminal or a browser page: what a byte shows in its cell,
// and which byte a typed Unicode character is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zw {

// How the terminal encodes characters.
enum class TextMode : uint8_t {
  UTF8,         // characters are UTF-8; the program's bytes are Windows-1252
  SINGLE_BYTE,  // bytes pass unchanged (control bytes excepted), one a cell
  // Not known: only ASCII is shown, every other byte as "?" (which a
  // terminal draws in one cell whatever its encoding); typed bytes that form
  // a UTF-8 character are that character, any other byte is one of its own.
  ASCII,
};

// The Unicode character of a Windows-1252 byte; 0 for the five bytes the
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D).
uint32_t cp1252_to_unicode(uint8_t byte);
// The Windows-1252 byte of a Unicode character, -1 when it has none.
// Control characters map to themselves (0..31, 127).
int unicode_to_cp1252(uint32_t code_point);

// What the terminal is sent for a byte that occupies one cell: 1..3 bytes in
// `out`, the count returned. Never a control byte: control bytes show as a
// visible picture (or "?" on a terminal that is not UTF-8), so every byte
// takes exactly one cell.
size_t cell_glyph(uint8_t byte, TextMode mode, char out[4]);

// Appends `count` bytes of the program's code page to `out` as a terminal
// shows them when written as text: control bytes pass (they are line ends,
// bells, backspaces); on a UTF-8 terminal the upper half becomes UTF-8 (the
// undefined bytes the replacement character); on a single-byte one the C1
// bytes 0x80..0x9F, controls there, become "?"; on one whose encoding is not
// known the whole upper half does.
void append_terminal_text(const char* bytes, size_t count, TextMode mode, std::string* out);

// Appends the UTF-8 form of `code_point` (up to 4 bytes) to `out`; returns
// the count.
size_t encode_utf8(uint32_t code_point, char out[4]);

// A UTF-8 character read a byte at a time.
struct Utf8Reader {
  uint32_t code_point = 0;
  int need = 0;  // continuation bytes still to come
  int taken = 0;
  uint8_t bytes[4] = {};  // the `taken` bytes so far
};

// Starts a character at `lead`; false when none starts with that byte.
bool utf8_begin(Utf8Reader& r, uint8_t lead);

enum class Utf8Step : uint8_t {
  MORE,              // the character goes on
  CHARACTER,         // it is complete: r.code_point
  INVALID,           // taken, but the form is none (overlong, a surrogate,
                     // above U+10FFFF)
  NOT_CONTINUATION,  // not taken: the byte cannot go on a character
};
Utf8Step utf8_continue(Utf8Reader& r, uint8_t b);

}  // namespace zw
