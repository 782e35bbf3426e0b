#include "calc/soft_extended.h"

#include <cstring>

#include "calc/uint128.h"

namespace zw {

namespace {

using u128 = U128;

constexpr int BIAS = 16383;
constexpr uint16_t EXP_ALL_ONES = 0x7FFF;
constexpr uint16_t SIGN = 0x8000;
constexpr uint64_t INTEGER_BIT = 1ULL << 63;
constexpr uint64_t QUIET_BIT = 1ULL << 62;

enum class Kind { ZERO, FINITE, INF, NAN_VALUE, UNSUPPORTED };

// A finite non-zero value as sign * significand * 2^(exponent - 63), the
// significand's top bit set.
struct Unpacked {
  bool negative;
  int exponent;
  uint64_t significand;
};

Kind kind_of(uint16_t se, uint64_t sig) {
  const int e = se & EXP_ALL_ONES;
  if (e == 0) return sig == 0 ? Kind::ZERO : Kind::FINITE;  // denormal or pseudo-denormal
  if ((sig & INTEGER_BIT) == 0) return Kind::UNSUPPORTED;    // unnormal, pseudo-NaN or -infinity
  if (e == EXP_ALL_ONES) return sig == INTEGER_BIT ? Kind::INF : Kind::NAN_VALUE;
  return Kind::FINITE;
}

int leading_zeros(u128 m) {
  const auto hi = static_cast<uint64_t>(m >> 64);
  return hi != 0 ? __builtin_clzll(hi) : 64 + __builtin_clzll(static_cast<uint64_t>(m));
}

// m shifted right by s, any bit shifted out kept as a one in bit 0.
u128 shift_right_jam(u128 m, int s) {
  if (s <= 0) return m;
  if (s >= 128) return m != 0;
  return (m >> s) | static_cast<u128>((m << (128 - s)) != 0);
}

Unpacked unpack(uint16_t se, uint64_t sig) {
  int e = se & EXP_ALL_ONES;
  if (e == 0) e = 1;  // denormals share the smallest normal exponent
  const int lz = __builtin_clzll(sig);
  return {(se & SIGN) != 0, e - BIAS - lz, sig << lz};
}

SoftExtended zero(bool negative) { return SoftExtended::from_bits(negative ? SIGN : 0, 0); }
SoftExtended infinity(bool negative) {
  return SoftExtended::from_bits(static_cast<uint16_t>((negative ? SIGN : 0) | EXP_ALL_ONES),
                                 INTEGER_BIT);
}
SoftExtended indefinite() {
  return SoftExtended::from_bits(SIGN | EXP_ALL_ONES, INTEGER_BIT | QUIET_BIT);
}

// The value sign * m * 2^(e - 127), m != 0, bit 0 standing for any bits
// below it, rounded to the format: to nearest with ties to even, denormal
// below the normal range, an infinity above it.
SoftExtended round_pack(bool negative, int e, u128 m) {
  const int lz = leading_zeros(m);
  m <<= lz;
  int biased = e - lz + BIAS;
  if (biased <= 0) {
    m = shift_right_jam(m, 1 - biased);
    biased = 0;
  }
  auto kept = static_cast<uint64_t>(m >> 64);
  const auto rest = static_cast<uint64_t>(m);
  if (rest > INTEGER_BIT || (rest == INTEGER_BIT && (kept & 1) != 0)) {
    ++kept;
    if (kept == 0) {
      kept = INTEGER_BIT;
      ++biased;
    } else if (biased == 0 && (kept & INTEGER_BIT) != 0) {
      biased = 1;  // a denormal rounded up to the smallest normal
    }
  }
  if (biased >= EXP_ALL_ONES) return infinity(negative);
  return SoftExtended::from_bits(static_cast<uint16_t>((negative ? SIGN : 0) | biased), kept);
}

// At least one operand is a NaN and neither is unsupported.
SoftExtended propagate_nan(SoftExtended a, SoftExtended b) {
  const bool a_nan = kind_of(a.sign_exponent(), a.significand()) == Kind::NAN_VALUE;
  const bool b_nan = kind_of(b.sign_exponent(), b.significand()) == Kind::NAN_VALUE;
  SoftExtended pick = a_nan ? a : b;
  if (a_nan && b_nan) {
    if (b.significand() > a.significand() ||
        (b.significand() == a.significand() && (b.sign_exponent() & SIGN) == 0)) {
      pick = b;
    }
  }
  return SoftExtended::from_bits(pick.sign_exponent(), pick.significand() | QUIET_BIT);
}

// Sorts out NaNs and unsupported operands; true when `out` holds the result.
bool special_operands(SoftExtended a, SoftExtended b, Kind ka, Kind kb, SoftExtended& out) {
  if (ka == Kind::UNSUPPORTED || kb == Kind::UNSUPPORTED) {
    out = indefinite();
    return true;
  }
  if (ka == Kind::NAN_VALUE || kb == Kind::NAN_VALUE) {
    out = propagate_nan(a, b);
    return true;
  }
  return false;
}

SoftExtended add(SoftExtended a, SoftExtended b, bool subtract) {
  const Kind ka = kind_of(a.sign_exponent(), a.significand());
  const Kind kb = kind_of(b.sign_exponent(), b.significand());
  SoftExtended out;
  if (special_operands(a, b, ka, kb, out)) return out;
  const bool sa = (a.sign_exponent() & SIGN) != 0;
  const bool sb = ((b.sign_exponent() & SIGN) != 0) != subtract;
  if (ka == Kind::INF) return kb == Kind::INF && sa != sb ? indefinite() : infinity(sa);
  if (kb == Kind::INF) return infinity(sb);
  if (ka == Kind::ZERO && kb == Kind::ZERO) return zero(sa && sb);
  if (ka == Kind::ZERO || kb == Kind::ZERO) {  // the other operand, exactly
    const SoftExtended v = ka == Kind::ZERO ? b : a;
    const Unpacked u = unpack(v.sign_exponent(), v.significand());
    return round_pack(ka == Kind::ZERO ? sb : sa, u.exponent + 1, static_cast<u128>(u.significand) << 63);
  }
  Unpacked x = unpack(a.sign_exponent(), a.significand());
  Unpacked y = unpack(b.sign_exponent(), b.significand());
  x.negative = sa;
  y.negative = sb;
  if (y.exponent > x.exponent || (y.exponent == x.exponent && y.significand > x.significand)) {
    const Unpacked t = x;
    x = y;
    y = t;
  }
  // The larger in bits 126..63, the smaller aligned below it; a carry goes
  // to bit 127.
  const u128 mx = static_cast<u128>(x.significand) << 63;
  const u128 my = shift_right_jam(static_cast<u128>(y.significand) << 63, x.exponent - y.exponent);
  if (x.negative == y.negative) return round_pack(x.negative, x.exponent + 1, mx + my);
  const u128 m = mx - my;
  if (m == 0) return zero(false);
  return round_pack(x.negative, x.exponent + 1, m);
}

}  // namespace

SoftExtended::SoftExtended(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const uint16_t sign = (bits >> 63) != 0 ? SIGN : 0;
  const int e = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((1ULL << 52) - 1);
  if (e == 0x7FF) {
    sign_exponent_ = sign | EXP_ALL_ONES;
    significand_ = fraction == 0 ? INTEGER_BIT : INTEGER_BIT | QUIET_BIT | (fraction << 11);
  } else if (e == 0) {
    if (fraction == 0) {
      sign_exponent_ = sign;
      significand_ = 0;
    } else {  // a double subnormal is a normal extended value
      const int lz = __builtin_clzll(fraction);
      sign_exponent_ = static_cast<uint16_t>(sign | (-1011 - lz + BIAS));
      significand_ = fraction << lz;
    }
  } else {
    sign_exponent_ = static_cast<uint16_t>(sign | (e - 1023 + BIAS));
    significand_ = INTEGER_BIT | (fraction << 11);
  }
}

SoftExtended::operator double() const {
  const uint64_t sign = static_cast<uint64_t>(sign_exponent_ & SIGN) << 48;
  uint64_t bits = 0;
  switch (kind_of(sign_exponent_, significand_)) {
    case Kind::ZERO:
      bits = sign;
      break;
    case Kind::INF:
      bits = sign | 0x7FF0000000000000ULL;
      break;
    case Kind::NAN_VALUE:
      bits = sign | 0x7FF8000000000000ULL | ((significand_ >> 11) & ((1ULL << 52) - 1));
      break;
    case Kind::UNSUPPORTED:
      bits = 0xFFF8000000000000ULL;
      break;
    case Kind::FINITE: {
      const Unpacked x = unpack(sign_exponent_, significand_);
      int biased = x.exponent + 1023;
      // 53 bits kept; below the normal range fewer, down to none.
      const int drop = biased >= 1 ? 11 : 12 - biased;
      uint64_t kept = 0;
      bool up = false;
      if (drop < 64) {
        kept = x.significand >> drop;
        const uint64_t rest = x.significand & ((1ULL << drop) - 1);
        const uint64_t half = 1ULL << (drop - 1);
        up = rest > half || (rest == half && (kept & 1) != 0);
      } else if (drop == 64) {
        up = x.significand > INTEGER_BIT;  // above half of the smallest subnormal
      }
      if (up) ++kept;
      if (biased >= 1) {
        if (kept == (1ULL << 53)) {
          kept >>= 1;
          ++biased;
        }
        bits = biased >= 0x7FF ? sign | 0x7FF0000000000000ULL
                               : sign | (static_cast<uint64_t>(biased) << 52) | (kept & ((1ULL << 52) - 1));
      } else {
        bits = sign | kept;  // a carry into bit 52 makes the smallest normal
      }
      break;
    }
  }
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

SoftExtended operator+(SoftExtended a, SoftExtended b) { return add(a, b, false); }
SoftExtended operator-(SoftExtended a, SoftExtended b) { return add(a, b, true); }

SoftExtended operator*(SoftExtended a, SoftExtended b) {
  const Kind ka = kind_of(a.sign_exponent(), a.significand());
  const Kind kb = kind_of(b.sign_exponent(), b.significand());
  SoftExtended out;
  if (special_operands(a, b, ka, kb, out)) return out;
  const bool negative = ((a.sign_exponent() ^ b.sign_exponent()) & SIGN) != 0;
  if (ka == Kind::INF || kb == Kind::INF) {
    return ka == Kind::ZERO || kb == Kind::ZERO ? indefinite() : infinity(negative);
  }
  if (ka == Kind::ZERO || kb == Kind::ZERO) return zero(negative);
  const Unpacked x = unpack(a.sign_exponent(), a.significand());
  const Unpacked y = unpack(b.sign_exponent(), b.significand());
  return round_pack(negative, x.exponent + y.exponent + 1, multiply_64x64(x.significand, y.significand));
}

SoftExtended operator/(SoftExtended a, SoftExtended b) {
  const Kind ka = kind_of(a.sign_exponent(), a.significand());
  const Kind kb = kind_of(b.sign_exponent(), b.significand());
  SoftExtended out;
  if (special_operands(a, b, ka, kb, out)) return out;
  const bool negative = ((a.sign_exponent() ^ b.sign_exponent()) & SIGN) != 0;
  if (ka == Kind::INF) return kb == Kind::INF ? indefinite() : infinity(negative);
  if (kb == Kind::INF) return zero(negative);
  if (kb == Kind::ZERO) return ka == Kind::ZERO ? indefinite() : infinity(negative);
  if (ka == Kind::ZERO) return zero(negative);
  const Unpacked x = unpack(a.sign_exponent(), a.significand());
  const Unpacked y = unpack(b.sign_exponent(), b.significand());
  // 128 quotient bits in two steps of 64: the first 64 or 65 bits (both
  // significands have the top bit set, so x < 2y and the 65th is one when
  // x >= y), then 64 more; the last remainder only tells whether anything
  // is left.
  const bool top = x.significand >= y.significand;
  const uint64_t first = top ? x.significand - y.significand : x.significand;
  uint64_t r1 = 0, r2 = 0;
  const uint64_t q1 = divide_128_by_64(first, 0, y.significand, r1);
  const uint64_t q2 = divide_128_by_64(r1, 0, y.significand, r2);
  const bool rest = (q2 & 3) != 0 || r2 != 0;
  return round_pack(negative, x.exponent - y.exponent + 1, (u128_of(top, q1) << 62) | (q2 >> 2) | rest);
}

}  // namespace zw
