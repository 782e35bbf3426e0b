// What the program prints at start on an 80-column line, written out by
// hand for the tests to compare against.
#pragma once

#include <string>

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

}  // namespace zw
