// Fuzz target: the terminal key decoder.
//
// 1. Any bytes, fed in one piece or in random pieces, give the same key
//    events, and only well-formed ones; after the deadline nothing is left
//    pending and the next plain key comes out unchanged.
// 2. A stream built of tokens (plain text, complete escape sequences known
//    or not, sequences cut off by the deadline, raw bytes ended by the
//    deadline) gives exactly the keys of its tokens decoded one by one: no
//    byte of a sequence, broken or unknown, ever becomes a typed character,
//    and nothing of one token leaks into the next.
// Both with the kitty keyboard protocol off and on (its reports decoded,
// releases included), in each terminal dialect.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_bytes.h"
#include "platform/posix/terminal_keys.h"

namespace zw {
namespace {

using Keys = std::vector<KeyEventRecord>;

constexpr uint32_t KNOWN_STATE = KeyState::RIGHT_ALT | KeyState::LEFT_ALT | KeyState::RIGHT_CTRL |
                                 KeyState::LEFT_CTRL | KeyState::SHIFT | KeyState::NUM_LOCK | KeyState::SCROLL_LOCK |
                                 KeyState::CAPS_LOCK | KeyState::ENHANCED;

void check_well_formed(const Keys& keys, bool kitty) {
  for (const KeyEventRecord& k : keys) {
    if ((!kitty && !k.key_down) || k.repeat_count != 1) std::abort();
    if ((k.control_state & ~KNOWN_STATE) != 0) std::abort();
    // A key without a character must say which key it is.
    if (k.ch == 0 && k.virtual_key == 0) std::abort();
  }
}

bool same(const Keys& a, const Keys& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].key_down != b[i].key_down || a[i].repeat_count != b[i].repeat_count ||
        a[i].virtual_key != b[i].virtual_key || a[i].scan_code != b[i].scan_code || a[i].ch != b[i].ch ||
        a[i].control_state != b[i].control_state) {
      return false;
    }
  }
  return true;
}

// Property 1 on the raw input.
void check_pieces(TextMode mode, KeyDialect dialect, bool kitty, const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  KeyDecoder whole;
  reset_key_decoder(whole, mode, dialect);
  whole.kitty = kitty;
  Keys one_piece;
  decode_key_bytes(whole, bytes, size, &one_piece);

  KeyDecoder pieces;
  reset_key_decoder(pieces, mode, dialect);
  pieces.kitty = kitty;
  Keys many;
  // Piece lengths come from the bytes themselves: 1 to 4.
  for (size_t at = 0; at < size;) {
    const size_t n = std::min<size_t>(size - at, 1 + data[at] % 4);
    decode_key_bytes(pieces, bytes + at, n, &many);
    at += n;
  }
  if (!same(one_piece, many) || whole.state != pieces.state) std::abort();
  check_well_formed(one_piece, kitty);

  decode_key_deadline(whole, &one_piece);
  check_well_formed(one_piece, kitty);
  if (key_decoder_pending(whole)) std::abort();
  Keys next;
  decode_key_bytes(whole, "q", 1, &next);
  if (next.size() != (kitty ? 2u : 1u) || next[0].ch != 'q' || next[0].control_state != 0) std::abort();
}

// Property 2: tokens decoded together and one by one.
void check_tokens(TextMode mode, KeyDialect dialect, bool kitty, Bytes& in) {
  KeyDecoder stream;
  reset_key_decoder(stream, mode, dialect);
  stream.kitty = kitty;
  Keys together;
  Keys alone;
  while (!in.empty()) {
    const uint8_t kind = in.next() % 5;
    const size_t length = in.next() % 12;
    std::string token;
    bool deadline = false;
    switch (kind) {
      case 0:  // plain text
        for (size_t i = 0; i < length + 1; ++i) token += static_cast<char>(0x20 + in.next() % 0x5F);
        break;
      case 1:    // a complete sequence: parameters, then a final byte
      case 2: {  // the same after "ESC O"
        token = kind == 1 ? "\x1b[" : "\x1bO";
        for (size_t i = 0; i < length; ++i) token += static_cast<char>(0x30 + in.next() % 0x10);
        char final = static_cast<char>(0x40 + in.next() % 0x3F);
        // "ESC [ [" opens the Linux console's function keys and "ESC [ M" a
        // mouse report: both still pending.
        if (kind == 1 && length == 0 && (final == '[' || final == 'M')) final = 'A';
        token += final;
        break;
      }
      case 3:  // a sequence cut off: the rest never comes
        token = "\x1b[";
        for (size_t i = 0; i < length; ++i) token += static_cast<char>(0x30 + in.next() % 0x10);
        deadline = true;
        break;
      default:  // anything, then a pause
        for (size_t i = 0; i < length; ++i) token += static_cast<char>(in.next());
        deadline = true;
        break;
    }
    const KittyKeyState stream_keys_before = stream.kitty_keys;
    decode_key_bytes(stream, token.data(), token.size(), &together);
    if (deadline) decode_key_deadline(stream, &together);
    if (key_decoder_pending(stream)) std::abort();

    KeyDecoder fresh;
    reset_key_decoder(fresh, mode, dialect);
    fresh.kitty = kitty;
    // The modifier keys held so far carry over from token to token.
    fresh.kitty_keys = stream_keys_before;
    Keys own;
    decode_key_bytes(fresh, token.data(), token.size(), &own);
    if (deadline) decode_key_deadline(fresh, &own);
    // A sequence is one key at most: none of its bytes is typed. A kitty
    // report is a press or a release, or a press and the further
    // characters of its text.
    if (!kitty && (kind >= 1 && kind <= 3) && own.size() > 1) std::abort();
    if (kitty && (kind >= 1 && kind <= 3) && own.size() > 1 && !own[0].key_down) std::abort();
    alone.insert(alone.end(), own.begin(), own.end());
  }
  check_well_formed(together, kitty);
  if (!same(together, alone)) std::abort();
}

}  // namespace
}  // namespace zw

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zw;
  if (size < 1) return 0;
  const TextMode mode = data[0] & 1 ? TextMode::SINGLE_BYTE : data[0] & 16 ? TextMode::ASCII : TextMode::UTF8;
  const bool kitty = data[0] & 2;
  const KeyDialect dialect = static_cast<KeyDialect>((data[0] >> 2) % 4);
  check_pieces(mode, dialect, kitty, data + 1, size - 1);
  Bytes in{data + 1, size - 1};
  check_tokens(mode, dialect, kitty, in);
  return 0;
}
