// Fuzzes the general editing of numbers (rt::EditG) with any float or double
// bit pattern. The expected field is built by an independent route: the exact
// decimal expansion of the C library's printf, rounded by hand to d
// significant digits (a 5 or more in the next digit rounds the magnitude up).
// The printed digits are also read back and compared with that rounded value.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "edit.h"

namespace {

[[noreturn]] void Fail(const char* what, double x, int w, int d, const std::string& got,
                       const std::string& want) {
  std::fprintf(stderr, "edit_fuzz: %s: x=%a w=%d d=%d\n  got  [%s]\n  want [%s]\n", what, x, w, d,
               got.c_str(), want.c_str());
  std::abort();
}

std::string Justify(const std::string& text, int w) {
  if (static_cast<int>(text.size()) > w) return std::string(static_cast<std::size_t>(w), '*');
  return std::string(static_cast<std::size_t>(w) - text.size(), ' ') + text;
}

// |x| = 0.D1D2...Dd * 10^e after rounding to d significant digits.
struct Rounded {
  std::string digits;
  int e;
};

Rounded RoundByPrintf(double magnitude, int d) {
  // glibc prints the exact binary value when asked for enough digits; a
  // double has at most 767 significant decimal digits.
  static char buf[1200];
  std::snprintf(buf, sizeof buf, "%.800e", magnitude);
  std::string digits;
  const char* p = buf;
  for (; *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  int e = std::atoi(p + 1) + 1;
  bool up = digits[static_cast<std::size_t>(d)] >= '5';
  digits.resize(static_cast<std::size_t>(d));
  if (up) {
    int i = d - 1;
    for (; i >= 0 && digits[static_cast<std::size_t>(i)] == '9'; --i) digits[static_cast<std::size_t>(i)] = '0';
    if (i >= 0) {
      ++digits[static_cast<std::size_t>(i)];
    } else {
      digits[0] = '1';
      ++e;
    }
  }
  return {digits, e};
}

std::string Expected(double x, int w, int d, Rounded& r) {
  if (std::isnan(x)) return Justify("NaN", w);
  const std::string sign = std::signbit(x) ? "-" : "";
  if (std::isinf(x)) return Justify(sign + "Infinity", w);
  if (x == 0.0) return Justify(sign + "0." + std::string(static_cast<std::size_t>(d), '0'), w);
  r = RoundByPrintf(std::fabs(x), d);
  if (r.e >= 0 && r.e <= d) {
    std::string text = sign + (r.e == 0 ? std::string("0") : r.digits.substr(0, static_cast<std::size_t>(r.e))) +
                       "." + r.digits.substr(static_cast<std::size_t>(r.e));
    if (w < 4 || static_cast<int>(text.size()) > w - 4) return std::string(static_cast<std::size_t>(w), '*');
    return Justify(text, w - 4) + "    ";
  }
  char exponent[16];
  int a = std::abs(r.e);
  if (a < 100)
    std::snprintf(exponent, sizeof exponent, "E%c%02d", r.e < 0 ? '-' : '+', a);
  else
    std::snprintf(exponent, sizeof exponent, "%c%d", r.e < 0 ? '-' : '+', a);
  return Justify(sign + "0." + r.digits + exponent, w);
}

// Reads a field back: the exponent form without "E" gets it again.
long double ReadBack(const std::string& field) {
  std::string t;
  for (char c : field)
    if (c != ' ') t += c;
  std::size_t e = t.find_first_of("E+-", 1);
  if (e != std::string::npos && t[e] != 'E') t.insert(e, "E");
  return std::strtold(t.c_str(), nullptr);
}

void Check(double x, int w, int d) {
  const std::string got = rt::EditG(x, w, d);
  Rounded r{"", 0};
  const std::string want = Expected(x, w, d, r);
  if (static_cast<int>(got.size()) != w) Fail("field width", x, w, d, got, want);
  if (got != want) Fail("field text", x, w, d, got, want);
  if (!std::isfinite(x) || x == 0.0 || got.empty() || got[0] == '*') return;

  // The digits read back are the value rounded to d digits ...
  long double back = ReadBack(got);
  long double rounded = std::strtold(("0." + r.digits + "e" + std::to_string(r.e)).c_str(), nullptr);
  if (std::signbit(x)) rounded = -rounded;
  if (back != rounded) Fail("digits read back", x, w, d, got, want);
  // ... which lies within half a unit of the d-th digit of x (checked where
  // long double resolves that unit well).
  if (d > 16) return;
  long double unit = std::pow(10.0L, static_cast<long double>(r.e - d));
  long double slack = std::fabs(static_cast<long double>(x)) * 1e-18L;
  if (std::fabs(back - static_cast<long double>(x)) > unit * 0.5L + slack) Fail("rounding error", x, w, d, got, want);
}

}  // namespace

// Byte 0 chooses the kind: 0 a float in the value field (15, 6); 1 a double in
// the time-mark field (20, 10); otherwise a double in a field of width and
// digits from bytes 9 and 10. The bit pattern follows from byte 1.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int kind = data[0] % 3;
  if (kind == 0) {
    if (size < 5) return 0;
    float f;
    std::memcpy(&f, data + 1, sizeof f);
    Check(static_cast<double>(f), 15, 6);
    return 0;
  }
  if (size < 9) return 0;
  double x;
  std::memcpy(&x, data + 1, sizeof x);
  if (kind == 1) {
    Check(x, 20, 10);
    return 0;
  }
  if (size < 11) return 0;
  Check(x, data[9] % 41, 1 + data[10] % 20);
  return 0;
}
