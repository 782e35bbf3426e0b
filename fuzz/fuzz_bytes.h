// What every fuzz target starts from: its input read from the front, byte
// by byte (past its end it gives 0), and, for the targets that run the
// console layer, a console bound to a virtual console of the target's own
// kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

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
  // What is left, in one piece.
  std::string rest() { return take(size - pos); }
};

// The console records bound to a port of type Port (a VirtualConsole or
// one made from it), both on the heap: the input block alone is 64 KiB.
template <typename Console, typename Port>
struct FuzzConsole {
  std::unique_ptr<Port> port;
  std::unique_ptr<Console> con = std::make_unique<Console>();
  template <typename... Args>
  explicit FuzzConsole(Args&&... args) : port(std::make_unique<Port>(std::forward<Args>(args)...)) {}
  // Binds the records to the port once the test has set it up.
  Console& bind() {
    reset_console(*con, port.get());
    return *con;
  }
};

}  // namespace zw
