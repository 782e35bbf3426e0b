#include "platform/posix/key_sequences.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace zw {
namespace {

// The parser's bounds: the largest sequence of each kind is taken, one more
// field, sub-parameter or digit is refused rather than written past the end.
TEST(KeySequences, ParameterBounds) {
  struct Case {
    const char* params;
    bool ok;
    std::vector<std::vector<uint32_t>> want;  // fields of sub-parameters
  };
  const Case cases[] = {
      {"", true, {}},
      {";", true, {{0}, {0}}},
      {"1;5:3", true, {{1}, {5, 3}}},
      {"1;2;3;4", true, {{1}, {2}, {3}, {4}}},
      {"1;2;3;4;5", false, {}},
      {"1:2:3:4:5:6:7:8", true, {{1, 2, 3, 4, 5, 6, 7, 8}}},
      {"1:2:3:4:5:6:7:8:9", false, {}},
      {"1::3", true, {{1, 0, 3}}},
      {"1114111", true, {{0x10FFFF}}},
      {"1114112", false, {}},
      {"99999999999999999999", false, {}},
      {"?1", false, {}},
      {"1 ;2", false, {}},
  };
  for (const Case& c : cases) {
    CsiParams f;
    ASSERT_EQ(parse_csi_params(c.params, std::strlen(c.params), &f), c.ok) << c.params;
    if (!c.ok) continue;
    std::vector<std::vector<uint32_t>> got;
    for (int i = 0; i < f.count; ++i) got.emplace_back(f.value[i], f.value[i] + f.subs[i]);
    EXPECT_EQ(got, c.want) << c.params;
  }
}

}  // namespace
}  // namespace zw
