#include "platform/posix/terminal_input.h"

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/terminal_modes.h"
#include "platform/us_layout.h"

namespace zw {

namespace {

// Raises `sig` to the terminal's foreground job, this process among it; to
// this process alone when the terminal names none.
void raise_for_terminal(int fd, int sig) {
  const pid_t job = ::tcgetpgrp(fd);
  if (job <= 0 || ::kill(-job, sig) != 0) ::raise(sig);
}

}  // namespace

bool read_terminal_piece(TerminalInput& in) {
  char buf[TERMINAL_READ_MAX];
  const size_t want = std::clamp<size_t>(in.read_max, 1, sizeof buf);
  const ssize_t n = ::read(in.fd, buf, want);
  if (n > 0) {
    in.quiet = static_cast<size_t>(n) < want;
    in.decoded.clear();
    // Past a local terminal's deadline, what waits is settled at once by a
    // byte that cannot go on with it: an Escape typed, then a letter, is
    // the Escape key and the letter however slow the link.
    const auto paused = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - in.last_byte).count();
    if (key_decoder_awaits_deadline(in.decoder) && paused > KEY_SEQUENCE_DEADLINE_MS &&
        !key_decoder_continues(in.decoder, static_cast<uint8_t>(buf[0]))) {
      decode_key_deadline(in.decoder, &in.decoded);
    }
    decode_key_bytes(in.decoder, buf, static_cast<size_t>(n), &in.decoded);
    queue_keys(in, in.decoded);
    in.last_byte = Clock::now();
    return true;
  }
  if (n == 0 || errno == EIO) in.hung_up = true;
  return false;
}

// A terminal found quiet (nothing there, or a piece shorter than asked for)
// is not looked at again without a wait: the line editor asks for keys
// several times for each key, and the wait looks anyway, so each look would
// be a system call that finds nothing. Keys typed meanwhile are taken at
// the next wait, in order, or at the first look after the screen changes.
void take_terminal(TerminalInput& in, short found) {
  for (;;) {
    if (found == 0) {
      int timeout = 0;
      if (key_decoder_awaits_deadline(in.decoder)) {
        timeout = deadline_left_ms(in);
      } else if (in.quiet) {
        return;
      }
      pollfd p{in.fd, POLLIN, 0};
      const int n = ::poll(&p, 1, timeout);
      if (n < 0) {
        if (errno == EINTR) continue;
        return;
      }
      found = n > 0 ? p.revents : 0;
      if (found == 0) in.quiet = true;
    }
    if (found & POLLIN) {
      // A piece that gave no key (part of a sequence, a cursor report) is
      // followed by the next.
      if (read_terminal_piece(in) && in.events.empty()) {
        found = 0;
        continue;
      }
      return;
    }
    // A hang-up is the owner's to meet: the end of the input settles what
    // was collected.
    if (found & (POLLHUP | POLLERR | POLLNVAL)) {
      in.hung_up = true;
      return;
    }
    settle_overdue_sequence(in);
    return;
  }
}

void settle_overdue_sequence(TerminalInput& in) {
  if (!key_decoder_awaits_deadline(in.decoder) || deadline_left_ms(in) > 0) return;
  std::vector<KeyEventRecord> keys;
  decode_key_deadline(in.decoder, &keys);
  queue_keys(in, keys);
}

int deadline_left_ms(const TerminalInput& in) {
  const auto passed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - in.last_byte).count();
  return static_cast<int>(std::max<long long>(0, in.deadline_ms - passed));
}

int key_deadline_for(int round_trip_ms) {
  return std::clamp(2 * round_trip_ms, KEY_SEQUENCE_DEADLINE_MS, KEY_SEQUENCE_DEADLINE_MAX_MS);
}

void queue_keys(TerminalInput& in, const std::vector<KeyEventRecord>& keys) {
  for (const KeyEventRecord& k : keys) {
    if (in.decoder.kitty) {
      // The terminal sends Ctrl+C, Ctrl+\ and Ctrl+Z as key reports instead
      // of the bytes that make the line discipline raise SIGINT, SIGQUIT
      // and SIGTSTP: they are raised here, to the whole foreground job as
      // the line discipline raises them (a script or make that started the
      // program stops or ends with it), and the handlers do what they do
      // for those bytes. Neither the press nor the release is a key.
      if (const int sig = signal_of_key(in.settings, k); sig != 0) {
        if (k.key_down) raise_for_terminal(in.fd, sig);
        continue;
      }
    }
    InputRecord rec;
    rec.type = InputEventKind::KEY;
    rec.key = k;
    in.events.push_back(rec);
    if (in.decoder.kitty) continue;
    rec.key.key_down = false;
    in.events.push_back(rec);
  }
}

void end_terminal_input(TerminalInput& in) {
  std::vector<KeyEventRecord> keys;
  if (key_decoder_pending(in.decoder)) decode_key_deadline(in.decoder, &keys);
  keys.push_back(key_event_for_char('\r'));
  if (in.decoder.kitty) {
    keys.push_back(keys.back());
    keys.back().key_down = false;
  }
  queue_keys(in, keys);
}

}  // namespace zw
