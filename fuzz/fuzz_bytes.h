// A fuzz input read from the front, byte by byte; past its end it gives 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zw {

struct Bytes {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  bool empty() const { return pos >= size; }
  uint8_t next() { return pos < size ? data[pos++] : 0; }
  std::string take(size_t n) {
    std::string s;
    while (n-- > 0 && !empty()) s += static_cast<char>(next());
    return s;
  }
};

}  // namespace zw
