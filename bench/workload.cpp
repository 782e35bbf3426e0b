// Writes a piped workload for the calculator: one cycle a line.
//
//   zw_workload mixed CYCLES [SEED]   all 13 codes; integers, decimals and
//                                     full 17-digit numbers
//   zw_workload plus CYCLES           "+,2,3" on every line
//   zw_workload edges CYCLES [SEED]   all 13 codes with NaNs, infinities,
//                                     numbers near both ends of the double
//                                     range and subnormals among the others
//   zw_workload typical CYCLES [SEED] all 13 codes with numbers as people
//                                     type them: a quarter integers below
//                                     100,000, most decimals with four
//                                     places, some with 16 or 17 digits;
//                                     half negative; "h" to -3 .. 3
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* CODES[13] = {"+", "-", "x", "/", "h", "kd", "kr",
                                   "ku", "kf", "qu", "qf", "ru", "rf"};
constexpr bool ONE_NUMBER[13] = {false, false, false, false, true, true, true,
                                 true,  true,  true,  true,  false, false};

// xorshift64*: the same workload on every machine.
struct Random {
  uint64_t s;
  uint64_t next() {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return s * 2685821657736338717ULL;
  }
  uint64_t below(uint64_t n) { return next() % n; }
};

void append_digits(std::string& out, Random& r, int count, bool nonzero_first) {
  for (int i = 0; i < count; ++i) {
    const char d = static_cast<char>('0' + (i == 0 && nonzero_first ? 1 + r.below(9) : r.below(10)));
    out += d;
  }
}

void append_number(std::string& out, Random& r) {
  if (r.below(4) == 0) out += '-';
  switch (r.below(6)) {
    case 0:  // a small integer
      out += std::to_string(r.below(1000));
      break;
    case 1:  // an integer of up to 9 digits
      append_digits(out, r, 1 + static_cast<int>(r.below(9)), true);
      break;
    case 2:  // a decimal with a few places
      out += std::to_string(r.below(100000));
      out += '.';
      append_digits(out, r, 1 + static_cast<int>(r.below(4)), false);
      break;
    case 3:  // 17 significant digits with a point
    {
      const int before = 1 + static_cast<int>(r.below(16));
      append_digits(out, r, before, true);
      out += '.';
      append_digits(out, r, 17 - before, false);
      break;
    }
    case 4:  // 17 digits and an exponent
      append_digits(out, r, 1, true);
      out += '.';
      append_digits(out, r, 16, false);
      out += 'e';
      if (r.below(2)) out += '-';
      out += std::to_string(r.below(300));
      break;
    default:  // a 17-digit integer
      append_digits(out, r, 17, true);
      break;
  }
}

// Texts the input statement reads as NaNs (with and without payload),
// infinities, signed zeros and values at the ends of the double range.
constexpr const char* EDGE_NUMBERS[] = {
    "nan.", "-nan.", "nan(0x1234).", "-nan(42).", "inf.", "-inf.", "1e999", "-1e999",
    "1e308", "-1e308", "1.7976931348623157e308", "-1.7976931348623157e308",
    "8.98846567431158e307", "2.2250738585072014e-308", "-2.2250738585072009e-308",
    "4.9406564584124654e-324", "1e-320", "-3e-315", "0", "0.0", "-0.0", "1", "-1", "2",
    "0.5", "3.141592653589793", "0.1"};

void append_edge_number(std::string& out, Random& r) {
  switch (r.below(3)) {
    case 0:
      out += EDGE_NUMBERS[r.below(std::size(EDGE_NUMBERS))];
      break;
    case 1:  // 17 digits at either end of the range
      if (r.below(2)) out += '-';
      append_digits(out, r, 1, true);
      out += '.';
      append_digits(out, r, 16, false);
      out += r.below(2) ? "e3" : "e-3";
      out += std::to_string(10 + r.below(25)).substr(1);  // 00..24
      break;
    default:
      append_number(out, r);
      break;
  }
}

// A number as typed by hand: a quarter integers below 100,000, three in
// five decimals with four places and one to five digits before the point,
// the rest 16 or 17 significant digits with the point anywhere among them;
// half of them negative.
void append_typical_number(std::string& out, Random& r) {
  if (r.below(2) == 0) out += '-';
  const uint64_t kind = r.below(20);
  if (kind < 5) {
    out += std::to_string(r.below(100000));
  } else if (kind < 17) {
    const int before = 1 + static_cast<int>(r.below(5));
    append_digits(out, r, before, before > 1);
    out += '.';
    append_digits(out, r, 4, false);
  } else {
    const int count = 16 + static_cast<int>(r.below(2));
    const int before = 1 + static_cast<int>(r.below(static_cast<uint64_t>(count - 1)));
    append_digits(out, r, before, true);
    out += '.';
    append_digits(out, r, count - before, false);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zw_workload mixed|plus|edges|typical CYCLES [SEED]\n");
    return 2;
  }
  const long cycles = std::atol(argv[2]);
  std::string out;
  out.reserve(1 << 20);
  if (std::strcmp(argv[1], "plus") == 0) {
    for (long i = 0; i < cycles; ++i) {
      out += "+,2,3\n";
      if (out.size() > (1 << 19)) {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
      }
    }
  } else {
    const bool edges = std::strcmp(argv[1], "edges") == 0;
    const bool typical = std::strcmp(argv[1], "typical") == 0;
    Random r{argc > 3 ? std::strtoull(argv[3], nullptr, 10) | 1 : 0x9E3779B97F4A7C15ULL};
    for (long i = 0; i < cycles; ++i) {
      const int op = static_cast<int>(r.below(13));
      out += CODES[op];
      out += ',';
      // The power keeps small exponents in the mixed workload so that its
      // results stay finite most of the time.
      if (edges) {
        append_edge_number(out, r);
      } else if (typical && op == 4) {
        // -3 .. 3 in halves
        const int halves = static_cast<int>(r.below(13)) - 6;
        if (halves < 0) out += '-';
        out += std::to_string((halves < 0 ? -halves : halves) / 2);
        if (halves % 2 != 0) out += ".5";
      } else if (typical) {
        append_typical_number(out, r);
      } else if (op == 4) {
        const char* exps[] = {"0.5", "2", "-1", "1.5", "0", "3", "-0.5", "0.25"};
        out += exps[r.below(8)];
      } else {
        append_number(out, r);
      }
      if (!ONE_NUMBER[op]) {
        out += ',';
        if (edges) {
          append_edge_number(out, r);
        } else if (typical) {
          append_typical_number(out, r);
        } else {
          append_number(out, r);
        }
      }
      out += '\n';
      if (out.size() > (1 << 19)) {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
      }
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
