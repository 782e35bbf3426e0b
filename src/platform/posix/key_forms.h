// The key decoder in two rooms: terminal_keys.cpp takes the bytes one state
// at a time, key_forms.cpp a complete sequence one form at a time. What
// the two share, and nothing above the decoder uses.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/posix/key_sequences.h"
#include "platform/posix/terminal_keys.h"

namespace zw {

// The Alt bit a key gets from an Escape before it.
uint32_t alt_state(bool alt);
KeyEventRecord escape_key();
// A key decoded from plain bytes or a classic sequence: its press, and
// with the kitty protocol on its release too.
void emit_key(const KeyDecoder& d, std::vector<KeyEventRecord>* keys, const KeyEventRecord& k);
// The key of a table row, with `state` held besides what the row says.
void emit_row(const KeyDecoder& d, std::vector<KeyEventRecord>* keys, const KeySequence& s, uint32_t state);
// Back in the ground state, nothing collected.
void decoder_to_ground(KeyDecoder& d);
// The device attributes answer, "ESC [ ? ... c", however long (`first` its
// first parameter byte, 0 for none): no key, and the last answer to come.
// False for another sequence.
bool take_attributes_answer(KeyDecoder& d, char final, char first, bool alt, std::vector<KeyEventRecord>* keys);
// A complete sequence of `kind` ('[' CSI, 'O' SS3, 'L' the Linux console's
// ESC [ [) and `final`, its parameters as collected: the decoder back in
// the ground state, and what it was taken as (an answer, a key, nothing).
void dispatch_sequence(KeyDecoder& d, char kind, char final, std::vector<KeyEventRecord>* keys);

}  // namespace zw
