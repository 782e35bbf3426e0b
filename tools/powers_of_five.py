#!/usr/bin/env python3
"""Writes src/console/number/powers_of_five.cpp: 5^q for q in [-342, 340] as
128 significant bits, cut after the 128th, exactly as Python's integers give them.

Run from the repository's top: python3 tools/powers_of_five.py
"""

Q_MIN, Q_MAX = -342, 340


def floor_log2_pow5(q):
    return (q * 1217359) >> 19


def significand(q):
    # floor(5^q * 2^(127 - floor(log2 5^q))), exactly.
    if q >= 0:
        n = 5 ** q
        shift = 127 - (n.bit_length() - 1)
        return n << shift if shift >= 0 else n >> -shift
    d = 5 ** -q
    # 5^q = 1/d; with e = floor(log2(1/d)) = -d.bit_length() (d is no power of two)
    e = -d.bit_length()
    return (1 << (127 - e)) // d


rows = []
for q in range(Q_MIN, Q_MAX + 1):
    s = significand(q)
    assert s >> 127 == 1, q
    exact_log = (5 ** q).bit_length() - 1 if q >= 0 else -(5 ** -q).bit_length()
    assert floor_log2_pow5(q) == exact_log, q
    rows.append("    {0x%016XULL, 0x%016XULL},  // 5^%d" % (s >> 64, s & (2 ** 64 - 1), q))

with open("src/console/number/powers_of_five.cpp", "w") as out:
    out.write("// Written by tools/powers_of_five.py; do not edit.\n")
    out.write('#include "console/number/powers_of_five.h"\n\nnamespace zw {\n\n')
    out.write("const PowerOfFive POWERS_OF_FIVE[POWER_OF_FIVE_MAX - POWER_OF_FIVE_MIN + 1] = {\n")
    out.write("\n".join(rows))
    out.write("\n};\n\n}  // namespace zw\n")
