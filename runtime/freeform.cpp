// Free-form value tokens and their conversion to numbers.
#include "freeform.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>

namespace rt {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

bool NextToken(std::string_view line, std::size_t& pos, std::string_view& token) {
  std::size_t i = pos;
  while (i < line.size() && IsSeparator(line[i])) ++i;
  if (i >= line.size()) {
    pos = line.size();
    return false;
  }
  std::size_t j = i;
  while (j < line.size() && !IsSeparator(line[j])) ++j;
  token = line.substr(i, j - i);
  pos = j;
  return true;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the real-number grammar and returns the text in the form the C
// library converts: a d/D exponent letter becomes 'e'. Anything the C library
// would also accept beyond that grammar (hexadecimal, inf, nan) is refused
// here, before conversion.
bool NormaliseReal(std::string_view t, std::string& out) {
  std::size_t i = 0;
  out.clear();
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t mantissa_digits = 0;
  while (i < t.size() && IsDigit(t[i])) {
    ++i;
    ++mantissa_digits;
  }
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && IsDigit(t[i])) {
      ++i;
      ++mantissa_digits;
    }
  }
  if (mantissa_digits == 0) return false;
  const std::size_t letter = i;
  if (i < t.size()) {
    char c = t[i];
    if (c != 'e' && c != 'E' && c != 'd' && c != 'D') return false;
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < t.size() && IsDigit(t[i])) {
      ++i;
      ++exponent_digits;
    }
    if (exponent_digits == 0 || i != t.size()) return false;
  }
  // The text as it stands, with its exponent letter as 'e'.
  out.assign(t.data(), t.size());
  if (letter < out.size()) out[letter] = 'e';
  return true;
}

}  // namespace

bool ParseInt(std::string_view token, int& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  if (i == token.size()) return false;
  // Accumulate the magnitude; anything past 2^31 is out of range either way.
  long long magnitude = 0;
  for (; i < token.size(); ++i) {
    if (!IsDigit(token[i])) return false;
    magnitude = magnitude * 10 + (token[i] - '0');
    if (magnitude > 2147483648LL) return false;
  }
  if (!negative && magnitude > INT_MAX) return false;
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

bool ParseFloat(std::string_view token, float& value) {
  std::string text;
  if (!NormaliseReal(token, text)) return false;
  // Rounded once, straight from the decimal text. from_chars gives strtof's
  // nearest float and is much quicker; text it leaves (out of range: the
  // underflow whose nearest float strtof gives, the overflow) goes to strtof.
  const char* first = text.data();
  const char* const last = first + text.size();
  if (*first == '+') ++first;  // from_chars takes no plus sign
  float f;
  const std::from_chars_result r = std::from_chars(first, last, f);
  if (r.ec != std::errc() || r.ptr != last) f = std::strtof(text.c_str(), nullptr);
  if (std::isinf(f)) return false;  // overflow: the grammar admits no infinity
  value = f;                        // underflow gives the nearest float
  return true;
}

bool ParseDouble(std::string_view token, double& value) {
  std::string text;
  if (!NormaliseReal(token, text)) return false;
  double x = std::strtod(text.c_str(), nullptr);
  if (std::isinf(x)) return false;
  value = x;
  return true;
}

}  // namespace rt
