// zw_stream_compare INPUT EXPECTED ACTUAL
//
// Compares the piped output of one build (ACTUAL) with another's (EXPECTED)
// for the same input stream, line by line. The outputs must be identical,
// except on the result line of a power cycle ("h,..."): power uses the
// platform's pow, which is correctly rounded on some C libraries and one
// unit in the last place off on others, so two finite results there may
// differ by as much as two adjacent doubles printed to 16 significant
// digits can. Prints how many such lines it accepted and the first of them;
// exits 1 on any other difference.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> read_lines(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "zw_stream_compare: cannot read " << path << "\n";
    std::exit(2);
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The number after the label ("Ergebnis: -1.5e+86"), or false.
bool result_number(const std::string& line, const std::string& label, long double* value) {
  if (line.compare(0, label.size(), label) != 0) return false;
  const char* text = line.c_str() + label.size();
  char* end = nullptr;
  *value = std::strtold(text, &end);
  return end != text && *end == '\0' && std::isfinite(*value);
}

// Whether the two printed values can come from doubles at most one unit in
// the last place apart: each text stands for anything within half a unit
// of its 16th significant digit.
bool within_one_ulp(const std::string& a, const std::string& b) {
  const std::string::size_type colon = a.find(':');
  if (colon == std::string::npos || b.compare(0, colon + 1, a, 0, colon + 1) != 0) return false;
  const std::string label = a.substr(0, colon + 1);
  long double x, y;
  if (!result_number(a, label, &x) || !result_number(b, label, &y)) return false;
  auto half_digit = [](long double v) {
    return v == 0 ? 0.0L : 0.5L * std::pow(10.0L, std::floor(std::log10(std::fabs(v))) - 15);
  };
  const double larger = static_cast<double>(std::fmax(std::fabs(x), std::fabs(y)));
  const long double ulp = static_cast<long double>(std::nextafter(larger, INFINITY)) - larger;
  return std::fabs(x - y) <= half_digit(x) + half_digit(y) + ulp;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: zw_stream_compare INPUT EXPECTED ACTUAL\n";
    return 2;
  }
  const std::vector<std::string> input = read_lines(argv[1]);
  const std::vector<std::string> expected = read_lines(argv[2]);
  const std::vector<std::string> actual = read_lines(argv[3]);
  // One output line per input line, after the same banner.
  const std::size_t banner = expected.size() >= input.size() ? expected.size() - input.size() : 0;
  std::size_t accepted = 0, differing = 0;
  std::string first_accepted, first_differing;
  const std::size_t lines = std::max(expected.size(), actual.size());
  for (std::size_t i = 0; i < lines; ++i) {
    const std::string& e = i < expected.size() ? expected[i] : "(none)";
    const std::string& a = i < actual.size() ? actual[i] : "(none)";
    if (e == a) continue;
    const std::string cycle = i >= banner && i - banner < input.size() ? input[i - banner] : "";
    const std::string where = "line " + std::to_string(i + 1) + " (" + cycle + "): " + e + " | " + a;
    if (expected.size() == actual.size() && cycle.compare(0, 2, "h,") == 0 && within_one_ulp(e, a)) {
      if (accepted++ == 0) first_accepted = where;
    } else if (differing++ == 0) {
      first_differing = where;
    }
  }
  std::cout << accepted << " power results within 1 ulp" << (accepted ? ", first: " + first_accepted : "")
            << "\n";
  if (differing == 0) return 0;
  std::cout << differing << " other lines differ, first: " << first_differing << "\n";
  return 1;
}
