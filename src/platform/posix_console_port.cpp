// The console port on POSIX: standard input and output as files or pipes.
//
// Standard output that is not a console receives exactly the printed bytes,
// collected in blocks and written when a block is full, before the program
// waits for input, and at exit. Standard input is read in blocks.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cfenv>
#include <cstring>
#include <memory>

#include "platform/platform_port.h"

namespace zw {

namespace {

constexpr size_t OUTPUT_BLOCK = 64 * 1024;

// Writes all of `count` bytes to `fd`; false when the descriptor fails.
bool write_all(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t n = ::write(fd, bytes, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

class PosixConsolePort final : public ConsolePort {
 public:
  PosixConsolePort() {
    // A reader that went away (`| head -1`) shows up as a failed write,
    // not as a signal that kills the program mid-way.
    ::signal(SIGPIPE, SIG_IGN);
  }
  ~PosixConsolePort() override { flush(); }

  void set_arithmetic_mode() override {
#if defined(__i386__) || defined(__x86_64__)
    // x87 control word: all exceptions masked (0x3F), 64-bit significand
    // (precision control 11b), round to nearest (rounding control 00b).
    unsigned short cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    cw = static_cast<unsigned short>((cw & ~0x0F00u) | 0x0300u | 0x003Fu);
    __asm__ volatile("fldcw %0" : : "m"(cw));
#endif
    std::fesetround(FE_TONEAREST);
  }

  bool input_is_console() override { return false; }
  bool enable_processed_input() override { return false; }
  bool set_ctrl_handler(CtrlHandler, bool) override { return true; }

  bool get_screen_buffer_info(ScreenBufferInfo*) override { return false; }
  bool write_cells(const CharCell*, int, Coord) override { return false; }
  bool scroll_rect(SmallRect, Coord, CharCell) override { return false; }
  bool fill_chars(uint8_t, int, Coord) override { return false; }
  bool fill_attrs(uint16_t, int, Coord) override { return false; }
  bool set_cursor_position(Coord) override { return false; }
  bool get_cursor_info(CursorInfo*) override { return false; }
  bool set_cursor_info(const CursorInfo&) override { return false; }
  bool set_window(SmallRect) override { return false; }

  bool write_bytes(const char* bytes, size_t count, size_t* written) override {
    *written = 0;
    if (output_failed_) return false;
    if (out_len_ + count > OUTPUT_BLOCK) {
      flush();
      if (output_failed_) return false;
      if (count >= OUTPUT_BLOCK) {
        if (!write_all(STDOUT_FILENO, bytes, count)) {
          output_failed_ = true;
          return false;
        }
        *written = count;
        return true;
      }
    }
    std::memcpy(out_ + out_len_, bytes, count);
    out_len_ += count;
    *written = count;
    return true;
  }

  void beep(int, int) override {}
  void end_update() override {}

  void flush() override {
    if (out_len_ == 0) return;
    if (!output_failed_ && !write_all(STDOUT_FILENO, out_, out_len_)) output_failed_ = true;
    out_len_ = 0;
  }

  bool peek_input(InputRecord*, int* count) override {
    *count = 0;
    return false;
  }
  bool read_input(InputRecord*, int* count) override {
    *count = 0;
    return false;
  }
  unsigned map_virtual_key_char(unsigned) override { return 0; }

  void wait_input(int timeout_ms) override {
    flush();
    pollfd p{STDIN_FILENO, POLLIN, 0};
    ::poll(&p, 1, timeout_ms);
  }

  size_t read_stdin(char* buffer, size_t count) override {
    flush();  // what was printed so far is seen before the program blocks
    for (;;) {
      const ssize_t n = ::read(STDIN_FILENO, buffer, count);
      if (n >= 0) return static_cast<size_t>(n);
      if (errno != EINTR) return 0;
    }
  }

 private:
  bool output_failed_ = false;
  size_t out_len_ = 0;
  char out_[OUTPUT_BLOCK];
};

}  // namespace

std::unique_ptr<ConsolePort> make_platform_port() { return std::make_unique<PosixConsolePort>(); }

}  // namespace zw
