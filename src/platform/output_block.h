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

}  // namespace zw
