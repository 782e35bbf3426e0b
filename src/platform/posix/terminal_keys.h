// Terminal key decoder: the bytes a terminal sends for key presses become
// console key events (key down, repeat 1, US-layout virtual-key and scan
// codes, the character in the 8-bit code page, control-key state with
// KeyState::ENHANCED for the gray keys). Nothing above this decoder sees an escape
// sequence.
//
// The decoder is fed whatever the terminal delivered, in as many pieces as it
// arrived, and is told when no further byte came within the deadline; only
// then does an Escape at the end of the input count as the Escape key.
// Unknown or broken sequences are dropped whole.
//
// With the kitty keyboard protocol on (`kitty`), the terminal reports every
// press and release itself (kitty_keys.h); the decoder hands those on as
// they come, and gives a key that still arrives as plain bytes (a paste)
// its release at once. The Escape key then comes as a report of its own, so
// an Escape byte always starts something: bytes that stopped short are
// awaited however late the rest comes (a slow line, a remote session), and
// no deadline applies. What is held meanwhile is bounded (KEY_SEQUENCE_MAX);
// the next byte settles it as it would without a pause. The terminal's
// answer to the protocol query is noted in either mode, and so are the
// answers the port asks for (cursor reports, device attributes), which are
// no keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/console_port.h"
#include "platform/posix/key_sequences.h"
#include "platform/posix/kitty_keys.h"
#include "platform/terminal_text.h"

namespace zw {

// How long the port waits at least for the rest of a sequence whose bytes
// stopped arriving (an Escape as the last byte read, in particular), with
// the kitty protocol off; longer on a slow link (terminal_input.h).
constexpr int KEY_SEQUENCE_DEADLINE_MS = 30;
constexpr int KEY_SEQUENCE_MAX = 32;
constexpr int CURSOR_REPORTS_MAX = 2;

// Where the terminal said its cursor is, 1-based.
struct CursorReport {
  int row = 0;
  int column = 0;
};

struct KeyDecoder {
  enum class State : uint8_t { GROUND, ESCAPE, CSI, CSI_LINUX, SS3, DISCARD, UTF8, MOUSE_X10 };

  TextMode mode = TextMode::UTF8;
  KeyDialect dialect = KeyDialect::COMMON;
  State state = State::GROUND;
  // Escape came before the sequence or character being collected (Alt); in
  // state ESCAPE: a second Escape came.
  bool alt = false;
  // Parameter and intermediate bytes of the sequence being collected.
  char params[KEY_SEQUENCE_MAX] = {};
  int params_len = 0;
  Utf8Reader utf8;  // the UTF-8 character being collected
  // X10 mouse report (ESC [ M b x y) being skipped: values still to come,
  // and whether the one being skipped is a two-byte UTF-8 one (mode 1005).
  int mouse_values_left = 0;
  bool mouse_value_tail = false;
  // Cursor-position reports (ESC [ row ; col R) awaited: the next ones are
  // taken as reports instead of as keys, and the first CURSOR_REPORTS_MAX of
  // them kept. Awaited until they come, or until the device attributes
  // answer, which the terminal sends after them, shows that none will.
  int reports_expected = 0;
  int reports_received = 0;
  CursorReport reports[CURSOR_REPORTS_MAX];
  // The device attributes answer (ESC [ ? ... c) is awaited / came.
  bool attributes_expected = false;
  bool attributes_received = false;
  // The kitty keyboard protocol is on: its key reports are decoded, with
  // the modifier keys held as `kitty_keys` says.
  bool kitty = false;
  KittyKeyState kitty_keys;
  // The flags the terminal last answered to KITTY_QUERY, -1 before any
  // answer.
  int kitty_flags = -1;
};

void reset_key_decoder(KeyDecoder& d, TextMode mode, KeyDialect dialect = KeyDialect::COMMON);

// Decodes `count` bytes, appending key events to `keys`: key-down events
// only, whose release is the caller's to add, or with `kitty` on, presses
// and releases both.
void decode_key_bytes(KeyDecoder& d, const char* bytes, size_t count,
                      std::vector<KeyEventRecord>* keys);
// No byte arrived within the deadline: settles what was collected (a lone
// Escape is the Escape key; Escape + "[" is Alt+[; a cut sequence is dropped).
// Applies only while key_decoder_awaits_deadline; the end of the input
// settles whatever is left the same way.
void decode_key_deadline(KeyDecoder& d, std::vector<KeyEventRecord>* keys);
// True while collected bytes wait for more (or for the deadline).
bool key_decoder_pending(const KeyDecoder& d);
// True while collected bytes wait and the deadline would settle them: never
// with the kitty protocol on.
bool key_decoder_awaits_deadline(const KeyDecoder& d);
// True when byte `b` can go on with the sequence collected (after an Escape,
// only the "[" or "O" that opens a sequence: a letter would make it Alt's).
bool key_decoder_continues(const KeyDecoder& d, uint8_t b);

}  // namespace zw
