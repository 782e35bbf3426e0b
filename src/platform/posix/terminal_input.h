// The terminal input pump: what the terminal sends, read in bounded pieces,
// becomes key events in a queue, as a console reports them (each press
// followed by its release).
//
// The terminal is read in pieces of at most TERMINAL_READ_MAX bytes, and
// only once the keys decoded from the last piece have been handed out:
// whatever is typed or pasted waits in the terminal's own buffer, and what
// the program holds stays below one piece's worth. A hang-up (end of file,
// EIO, POLLHUP) is noted for the owner, who decides what it means.
#pragma once

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <vector>

#include "platform/console_port.h"
#include "platform/posix/terminal_keys.h"

namespace zw {

constexpr size_t TERMINAL_READ_MAX = 1024;

using Clock = std::chrono::steady_clock;

struct TerminalInput {
  int fd = STDIN_FILENO;
  size_t read_max = TERMINAL_READ_MAX;  // bytes per read, at most TERMINAL_READ_MAX
  termios settings{};                   // the raw settings in force: its signal characters
  KeyDecoder decoder;
  std::vector<KeyEventRecord> decoded;  // keys of the piece just read
  Clock::time_point last_byte{};
  int deadline_ms = KEY_SEQUENCE_DEADLINE_MS;  // for the rest of a sequence (key_deadline_for)
  bool quiet = false;    // found with nothing more to read, since the last wait
  bool hung_up = false;  // end of file, EIO or POLLHUP seen
  std::deque<InputRecord> events;
};

// Reads one piece and decodes it into the event queue. False when nothing
// was read. A piece shorter than read_max is all there was.
bool read_terminal_piece(TerminalInput& in);

// Reads the terminal, given what a poll has just found on it (`found`, its
// revents), or with a look of its own first when `found` is 0; piece after
// piece while they give no key, and without waiting, except for the rest of
// a sequence that stopped short, which is awaited up to its deadline and
// then settled.
void take_terminal(TerminalInput& in, short found);

// A sequence that stopped short and whose deadline has passed becomes the
// keys it stands for (a lone Escape, mostly).
void settle_overdue_sequence(TerminalInput& in);
// Milliseconds left until that deadline, 0 once it has passed.
int deadline_left_ms(const TerminalInput& in);
// The deadline on a link whose answers take `round_trip_ms` (-1: not
// known): a sequence the terminal sent whole may arrive in pieces that far
// apart, and at a local terminal Escape stays prompt.
constexpr int KEY_SEQUENCE_DEADLINE_MAX_MS = 500;
int key_deadline_for(int round_trip_ms);

// Queues `keys` as a console reports them. With the kitty protocol on, the
// signal keys of `in.settings` are raised instead of queued.
void queue_keys(TerminalInput& in, const std::vector<KeyEventRecord>& keys);

// The input ends: a sequence still collected is settled, and the line
// being typed is ended as by Enter.
void end_terminal_input(TerminalInput& in);

}  // namespace zw
