// Standard output that is not a console: printed bytes collected in one
// block and handed to the device when the block is full, before the program
// waits for input, and at exit, never a system call per print item.
#pragma once

#include <cstddef>
#include <cstring>

namespace zw {

constexpr size_t OUTPUT_BLOCK = 64 * 1024;

struct OutputBlock {
  size_t length = 0;
  char bytes[OUTPUT_BLOCK];
};

// `sink(bytes, count)` hands bytes to the device, all of them, or fails.
// Both operations return false when the sink failed; the block is empty
// afterwards either way.
template <typename Sink>
bool flush_block(OutputBlock& block, Sink&& sink) {
  if (block.length == 0) return true;
  const bool ok = sink(block.bytes, block.length);
  block.length = 0;
  return ok;
}

template <typename Sink>
bool write_block(OutputBlock& block, const char* bytes, size_t count, Sink&& sink) {
  if (block.length + count > OUTPUT_BLOCK) {
    if (!flush_block(block, sink)) return false;
    if (count >= OUTPUT_BLOCK) return sink(bytes, count);
  }
  std::memcpy(block.bytes + block.length, bytes, count);
  block.length += count;
  return true;
}

// Hands all of `count` bytes on through `write_some(bytes, count)`, which
// writes the first part of them and returns its length (0: nothing this
// time, try again), or a negative number when the device failed. A sink
// for the block writer.
template <typename WriteSome>
bool write_all(const char* bytes, size_t count, WriteSome&& write_some) {
  while (count > 0) {
    const auto n = write_some(bytes, count);
    if (n < 0) return false;
    bytes += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

// Redirected standard output as a port keeps it: once the device failed,
// nothing more is handed to it and what is printed is dropped.
struct RedirectedOutput {
  OutputBlock block;
  bool failed = false;
};

// The port's raw byte write: `*written` is `count`, or 0 once the device
// failed.
template <typename Sink>
bool output_write(RedirectedOutput& out, const char* bytes, size_t count, size_t* written, Sink&& sink) {
  *written = 0;
  if (out.failed) return false;
  if (!write_block(out.block, bytes, count, sink)) {
    out.failed = true;
    return false;
  }
  *written = count;
  return true;
}

// Copies a few bytes: from 2 to 32 of them in two overlapping fixed-size
// moves, which cost less than the library call.
inline void copy_short(char* to, const char* bytes, size_t count) {
  if (count > 16 && count <= 32) {
    std::memcpy(to, bytes, 16);
    std::memcpy(to + count - 16, bytes + count - 16, 16);
  } else if (count >= 8 && count <= 16) {
    std::memcpy(to, bytes, 8);
    std::memcpy(to + count - 8, bytes + count - 8, 8);
  } else if (count >= 4 && count < 8) {
    std::memcpy(to, bytes, 4);
    std::memcpy(to + count - 4, bytes + count - 4, 4);
  } else if (count >= 2 && count < 4) {
    std::memcpy(to, bytes, 2);
    std::memcpy(to + count - 2, bytes + count - 2, 2);
  } else {
    std::memcpy(to, bytes, count);
  }
}

// Hands the block to the device (or drops it, once the device failed).
template <typename Sink>
void output_flush(RedirectedOutput& out, Sink&& sink) {
  if (out.failed) {
    out.block.length = 0;
  } else if (!flush_block(out.block, sink)) {
    out.failed = true;
  }
}

}  // namespace zw
