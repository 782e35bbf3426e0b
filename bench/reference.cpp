// The near-limit reference: the calculator's arithmetic and number text on
// the piped workloads, nothing else. Reads standard input in big blocks,
// splits simple "code,number[,number]" lines, writes output in big blocks.
//
//   zw_reference            from_chars / to_chars: as fast as it gets
//   zw_reference --printf   strtod / snprintf("%.16g"): the plain model the
//                           benchmark checks every output against
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace {

using Ext = long double;
constexpr double PI = 3.141592653589793;

constexpr std::string_view BANNER =
    "### Zahlwerk-ZW ### V.1.1 ###\r\n###Kommandozeilenparameter###\r\n\r\n"
    " + (Plus)      - (Minus)     x (Mal)       / (Geteilt)   h (Hoch)\r\n"
    " kd (Kreis-Dm)               kr (Kreis-r)  ku (Kreis-U)  kf (Kreis-F)\r\n"
    " qu (Quadrat-U)              qf (Quadrat-F)              ru (Rechteck-U)\r\n"
    " rf (Rechteck-F)\r\n\r\n";

double power(double base, double exponent) {
  if (exponent == 0 || base == 1.0) return 1.0;
  if (std::isnan(base) || std::isnan(exponent)) {
    return std::copysign(std::numeric_limits<double>::quiet_NaN(), base);
  }
  if (base < 0 && std::isfinite(base) && std::isfinite(exponent) &&
      std::trunc(exponent) != exponent) {
    return -std::numeric_limits<double>::quiet_NaN();
  }
  return std::pow(base, exponent);
}

bool use_printf = false;

// Items without a point or an exponent take the integer road, so "-0" is 0.
double parse(const char* p, const char* end) {
  const bool integer = std::find_if(p, end, [](char c) { return c == '.' || c == 'e'; }) == end;
  if (use_printf) {
    const std::string item(p, end);
    if (integer) return static_cast<double>(std::strtoll(item.c_str(), nullptr, 10));
    return std::strtod(item.c_str(), nullptr);
  }
  if (integer) {
    long long v = 0;
    std::from_chars(p, end, v);
    return static_cast<double>(v);
  }
  const char* const item = p;
  bool negative = false;
  if (p < end && *p == '-') {
    negative = true;
    ++p;
  }
  double v = 0;
  // NaNs with their payloads and anything out of range ("1e999", from_chars
  // leaves v alone) take the slow road.
  if ((p < end && (*p < '0' || *p > '9') && *p != '.') ||
      std::from_chars(p, end, v).ec == std::errc::result_out_of_range) {
    return std::strtod(std::string(item, end).c_str(), nullptr);
  }
  return negative ? -v : v;
}

void append_number(std::string& out, double v) {
  char text[32];
  int n;
  if (use_printf) {
    n = std::snprintf(text, sizeof text, "%.16g", v);
  } else {
    n = static_cast<int>(std::to_chars(text, text + sizeof text, v, std::chars_format::general, 16).ptr - text);
  }
  if (text[0] != '-') out += ' ';
  out.append(text, static_cast<size_t>(n));
  out += "\r\n";
}

constexpr size_t BLOCK = 1 << 20;

void write_all(const std::string& out) {
  for (size_t done = 0; done < out.size();) {
    const ssize_t n = ::write(1, out.data() + done, out.size() - done);
    if (n <= 0) std::exit(1);
    done += static_cast<size_t>(n);
  }
}

// One line: returns false when its code is none of the thirteen.
bool run_line(const char* p, const char* eol, double& result, std::string& out) {
  const char* comma = static_cast<const char*>(std::memchr(p, ',', static_cast<size_t>(eol - p)));
  if (comma == nullptr) comma = eol;
  const std::string_view code(p, static_cast<size_t>(comma - p));
  const char* a = comma < eol ? comma + 1 : eol;
  const char* a_end = static_cast<const char*>(std::memchr(a, ',', static_cast<size_t>(eol - a)));
  if (a_end == nullptr) a_end = eol;
  const double n1 = parse(a, a_end);
  const double n2 = a_end < eol ? parse(a_end + 1, eol) : 0;

  const char* label = "Ergebnis: ";
  const Ext e1 = n1, e2 = n2;
  if (code == "+") {
    result = static_cast<double>(e2 + e1), label = "Summe: ";
  } else if (code == "-") {
    result = static_cast<double>(e1 - e2), label = "Differenz: ";
  } else if (code == "x") {
    result = static_cast<double>(e2 * e1), label = "Produkt: ";
  } else if (code == "/") {
    result = static_cast<double>(e1 / e2), label = "Quotient: ";
  } else if (code == "h") {
    result = power(result, n1);
  } else if (code == "kd" || code == "qf") {
    result = static_cast<double>(2.0L * e1);
  } else if (code == "kr") {
    result = static_cast<double>(e1 / 2.0L);
  } else if (code == "ku") {
    result = static_cast<double>((Ext{PI} * 2.0L) * e1);
  } else if (code == "kf") {
    result = static_cast<double>((e1 * Ext{PI}) * 2.0L);
  } else if (code == "qu") {
    result = static_cast<double>((e1 + e1) * 2.0L);
  } else if (code == "ru") {
    result = static_cast<double>((2.0L * e2) + e1);
  } else if (code == "rf") {
    result = static_cast<double>(e2 * e1);
  } else {
    return false;
  }
  out += label;
  append_number(out, result);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  use_printf = argc > 1 && std::strcmp(argv[1], "--printf") == 0;
  std::string in(BLOCK * 2, '\0');
  std::string out;
  out.reserve(BLOCK + 4096);
  out += BANNER;
  double result = 0;
  size_t kept = 0;  // bytes of a line not yet complete
  for (;;) {
    const ssize_t n = ::read(0, in.data() + kept, in.size() - kept);
    const size_t have = kept + static_cast<size_t>(n > 0 ? n : 0);
    const char* p = in.data();
    const char* const end = p + have;
    for (;;) {
      const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (eol == nullptr) {
        if (n > 0) break;
        eol = end;  // the last line has no line end
        if (p == end) break;
      }
      run_line(p, eol, result, out);
      p = eol < end ? eol + 1 : end;
      if (out.size() >= BLOCK) {
        write_all(out);
        out.clear();
      }
    }
    kept = static_cast<size_t>(end - p);
    std::memmove(in.data(), p, kept);
    if (n <= 0) break;
  }
  write_all(out);
  return 0;
}
