// What the program prints at start on an 80-column line, written out by
// hand for the tests to compare against.
#pragma once

#include <string>
#include <vector>

namespace zw {

inline const std::string EXPECTED_START_TEXT =
    "### Zahlwerk-ZW ### V.1.1 ###\r\n"
    "###Kommandozeilenparameter###\r\n"
    "\r\n"
    " + (Plus)      - (Minus)     x (Mal)       / (Geteilt)   h (Hoch)\r\n"
    " kd (Kreis-Dm)               kr (Kreis-r)  ku (Kreis-U)  kf (Kreis-F)\r\n"
    " qu (Quadrat-U)              qf (Quadrat-F)              ru (Rechteck-U)\r\n"
    " rf (Rechteck-F)\r\n"
    "\r\n";

// The same texts as the rows they fill on an 80-column screen.
inline std::vector<std::string> expected_start_rows() {
  std::vector<std::string> rows;
  size_t from = 0;
  for (size_t end; (end = EXPECTED_START_TEXT.find("\r\n", from)) != std::string::npos; from = end + 2) {
    rows.push_back(EXPECTED_START_TEXT.substr(from, end - from));
  }
  return rows;
}

}  // namespace zw
