// General editing of reals and right-justified integers for output records.
#include "edit.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace rt {

namespace {

// Exact decimal digits of a finite, non-zero |x|: |x| = 0.D1D2...Dn * 10^exponent,
// D1 not zero. Every double is m * 2^k with an integer m; for k < 0 it equals
// m * 5^-k * 10^k, so the digits are those of one (big) integer.
struct ExactDecimal {
  std::string digits;
  int exponent = 0;
};

// Non-negative big integer in base 10^9, least significant limb first. The
// largest needed, 2^53 * 5^1074, has 767 digits: 86 limbs.
class BigDecimalInt {
 public:
  explicit BigDecimalInt(std::uint64_t v) {
    do {
      limbs_[count_++] = static_cast<std::uint32_t>(v % kBase);
      v /= kBase;
    } while (v != 0);
  }

  void MultiplyBy(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (int i = 0; i < count_; ++i) {
      std::uint64_t t = static_cast<std::uint64_t>(limbs_[i]) * factor + carry;
      limbs_[i] = static_cast<std::uint32_t>(t % kBase);
      carry = t / kBase;
    }
    while (carry != 0) {
      limbs_[count_++] = static_cast<std::uint32_t>(carry % kBase);
      carry /= kBase;
    }
  }

  // Multiplies by base^count, in steps that keep every product in 64 bits.
  void MultiplyByPower(std::uint32_t base, std::uint32_t step_factor, int step_count, int count) {
    for (; count >= step_count; count -= step_count) MultiplyBy(step_factor);
    for (; count > 0; --count) MultiplyBy(base);
  }

  std::string ToString() const {
    char text[kMaxLimbs * 9];
    int n = 0;
    char top[10];
    int t = 0;
    std::uint32_t v = limbs_[count_ - 1];
    do {
      top[t++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    while (t > 0) text[n++] = top[--t];
    for (int i = count_ - 2; i >= 0; --i) {
      std::uint32_t limb = limbs_[i];
      for (int d = 8; d >= 0; --d) {
        text[n + d] = static_cast<char>('0' + limb % 10);
        limb /= 10;
      }
      n += 9;
    }
    return std::string(text, static_cast<std::size_t>(n));
  }

 private:
  static constexpr std::uint64_t kBase = 1000000000;
  static constexpr int kMaxLimbs = 90;
  std::uint32_t limbs_[kMaxLimbs];
  int count_ = 0;
};

// The decimal digits of v > 0.
std::string DigitsOf(unsigned __int128 v) {
  constexpr std::uint64_t kTen19 = 10000000000000000000ull;
  char text[40];
  int n = 40;
  while (v >= kTen19) {
    std::uint64_t low = static_cast<std::uint64_t>(v % kTen19);
    v /= kTen19;
    for (int d = 0; d < 19; ++d, low /= 10) text[--n] = static_cast<char>('0' + low % 10);
  }
  for (std::uint64_t high = static_cast<std::uint64_t>(v); high != 0; high /= 10) {
    text[--n] = static_cast<char>('0' + high % 10);
  }
  return std::string(text + n, static_cast<std::size_t>(40 - n));
}

int BitWidth(std::uint64_t v) { return 64 - __builtin_clzll(v); }
int BitWidth(unsigned __int128 v) {
  const std::uint64_t high = static_cast<std::uint64_t>(v >> 64);
  return high != 0 ? 64 + BitWidth(high) : BitWidth(static_cast<std::uint64_t>(v));
}

ExactDecimal Expand(double magnitude) {
  std::uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  int biased = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int k;
  if (biased == 0) {
    k = -1074;  // subnormal
  } else {
    mantissa |= std::uint64_t{1} << 52;
    k = biased - 1075;
  }
  // Most values have few significant bits and a moderate exponent: without
  // the mantissa's trailing zero bits, m * 5^-k or m * 2^k often fits in 128
  // bits. The digits then differ from the big integer's only by trailing
  // zeros, which rounding treats alike.
  {
    const int zeros = __builtin_ctzll(mantissa);
    const std::uint64_t m = mantissa >> zeros;
    const int q = k + zeros;
    unsigned __int128 exact = 0;
    bool fits = false;
    if (q >= 0) {
      fits = BitWidth(m) + q <= 127;
      if (fits) exact = static_cast<unsigned __int128>(m) << q;
    } else if (-q <= 54) {  // 5^54 < 2^126
      unsigned __int128 power = 1;
      for (int i = 0; i < -q; ++i) power *= 5;
      fits = BitWidth(m) + BitWidth(power) <= 127;
      if (fits) exact = static_cast<unsigned __int128>(m) * power;
    }
    if (fits) {
      ExactDecimal r;
      r.digits = DigitsOf(exact);
      r.exponent = static_cast<int>(r.digits.size()) + (q < 0 ? q : 0);
      return r;
    }
  }
  BigDecimalInt n(mantissa);
  int scale = 0;
  if (k >= 0) {
    n.MultiplyByPower(2, 1u << 29, 29, k);
  } else {
    n.MultiplyByPower(5, 1220703125u, 13, -k);  // 5^13
    scale = k;
  }
  ExactDecimal r;
  r.digits = n.ToString();
  r.exponent = static_cast<int>(r.digits.size()) + scale;
  return r;
}

// Rounds to `d` significant digits, a next digit of 5 or more rounding the
// magnitude up; a carry out of the first digit raises the exponent.
void RoundTo(ExactDecimal& v, int d) {
  if (static_cast<int>(v.digits.size()) <= d) {
    v.digits.append(static_cast<std::size_t>(d) - v.digits.size(), '0');
    return;
  }
  bool up = v.digits[static_cast<std::size_t>(d)] >= '5';
  v.digits.resize(static_cast<std::size_t>(d));
  if (!up) return;
  int i = d - 1;
  while (i >= 0 && v.digits[static_cast<std::size_t>(i)] == '9') v.digits[static_cast<std::size_t>(i--)] = '0';
  if (i >= 0) {
    ++v.digits[static_cast<std::size_t>(i)];
  } else {
    v.digits[0] = '1';
    ++v.exponent;
  }
}

std::string RightJustify(const std::string& text, int width) {
  if (width < 0) width = 0;
  if (static_cast<int>(text.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

std::string ExponentText(int e) {
  std::string magnitude = std::to_string(e < 0 ? -e : e);
  std::string sign = e < 0 ? "-" : "+";
  if (magnitude.size() <= 2) return "E" + sign + std::string(2 - magnitude.size(), '0') + magnitude;
  return sign + magnitude;
}

}  // namespace

std::string EditG(double x, int w, int d) {
  if (std::isnan(x)) return RightJustify("NaN", w);
  std::string sign = std::signbit(x) ? "-" : "";
  if (std::isinf(x)) return RightJustify(sign + "Infinity", w);
  if (d < 1) return std::string(static_cast<std::size_t>(w < 0 ? 0 : w), '*');  // no digit to show
  if (x == 0.0) return RightJustify(sign + "0." + std::string(static_cast<std::size_t>(d), '0'), w);

  ExactDecimal v = Expand(std::fabs(x));
  RoundTo(v, d);
  const int e = v.exponent;
  // The record is built in one string: editing runs once per output value.
  std::string text;
  text.reserve(static_cast<std::size_t>(d) + 16);
  text += sign;
  if (e >= 0 && e <= d) {
    if (e == 0) {
      text += '0';
    } else {
      text.append(v.digits, 0, static_cast<std::size_t>(e));
    }
    text += '.';
    text.append(v.digits, static_cast<std::size_t>(e), std::string::npos);
    if (w < 4 || static_cast<int>(text.size()) > w - 4) return std::string(static_cast<std::size_t>(w < 0 ? 0 : w), '*');
    std::string out;
    out.reserve(static_cast<std::size_t>(w));
    out.append(static_cast<std::size_t>(w - 4) - text.size(), ' ');
    out += text;
    out.append(4, ' ');
    return out;
  }
  text += "0.";
  text += v.digits;
  text += ExponentText(e);
  return RightJustify(text, w);
}

std::string EditI(long long value, int w) { return RightJustify(std::to_string(value), w); }

}  // namespace rt
