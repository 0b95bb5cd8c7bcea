// Fuzzes the free-form reader: the token splitter and the number parsers on
// every line of the input, and the console reads fed with the input as
// standard input. Each result is checked against a model built from the
// reading rules (and, for numbers, against std::from_chars), not against the
// code under test.
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "console.h"
#include "freeform.h"

namespace {

[[noreturn]] void Fail(const char* what, std::string_view detail) {
  std::fprintf(stderr, "freeform_fuzz: %s: [%.*s]\n", what, static_cast<int>(detail.size() > 200 ? 200 : detail.size()),
               detail.data());
  std::abort();
}

bool Separator(char c) { return c == ' ' || c == '\t' || c == ','; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

// Lines as the console sees them: split at "\n", one "\r" before it dropped,
// a last line without "\n" kept when it holds any character.
std::vector<std::string> SplitLines(std::string_view data) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < data.size()) {
    std::size_t nl = data.find('\n', at);
    std::string line(data.substr(at, nl == std::string_view::npos ? std::string_view::npos : nl - at));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    at = nl + 1;
  }
  return lines;
}

std::vector<std::string_view> ModelTokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && Separator(line[i])) ++i;
    std::size_t j = i;
    while (j < line.size() && !Separator(line[j])) ++j;
    if (j > i) tokens.push_back(line.substr(i, j - i));
    i = j;
  }
  return tokens;
}

// The integer grammar: optional sign, one or more digits, in the 32-bit range.
bool ModelInt(std::string_view t, int& value) {
  std::size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
  if (i == t.size()) return false;
  for (std::size_t k = i; k < t.size(); ++k)
    if (!Digit(t[k])) return false;
  std::string_view digits = t.substr(i);
  while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
  if (digits.size() > 10) return false;
  long long v = std::stoll(std::string(digits));
  if (t[0] == '-') v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

// The real grammar: sign, digits with an optional point (at least one digit),
// optional exponent e/E/d/D with optional sign and at least one digit. Returns
// the text in from_chars form (no leading "+", exponent letter "e").
bool ModelRealText(std::string_view t, std::string& out) {
  out.clear();
  std::size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (negative) out += '-';
  std::size_t digits = 0;
  for (; i < t.size() && Digit(t[i]); ++i, ++digits) out += t[i];
  if (i < t.size() && t[i] == '.') {
    out += t[i++];
    for (; i < t.size() && Digit(t[i]); ++i, ++digits) out += t[i];
  }
  if (digits == 0) return false;
  if (i == t.size()) return true;
  if (std::strchr("eEdD", t[i]) == nullptr || t[i] == '\0') return false;
  out += 'e';
  ++i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) out += t[i++];
  std::size_t exp_digits = 0;
  for (; i < t.size() && Digit(t[i]); ++i, ++exp_digits) out += t[i];
  return exp_digits > 0 && i == t.size();
}

// A real of type T from the grammar, rounded once from the decimal text;
// false on overflow. Underflow gives the nearest value (zero or a denormal).
template <class T>
bool ModelReal(std::string_view t, T& value) {
  std::string text;
  if (!ModelRealText(t, text)) return false;
  T v{};
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  if (end != text.data() + text.size()) Fail("from_chars did not take the whole token", t);
  if (ec == std::errc::result_out_of_range) {
    // Out of range either way: decide by the magnitude of the decimal value.
    long double wide = std::strtold(text.c_str(), nullptr);
    if (std::fabs(wide) > 1.0L) return false;
    value = std::signbit(wide) ? -T(0) : T(0);
    // A value just below the smallest denormal but above half of it rounds up.
    if (std::fabs(wide) > static_cast<long double>(std::numeric_limits<T>::denorm_min()) / 2)
      value = std::copysign(std::numeric_limits<T>::denorm_min(), static_cast<T>(wide));
    return true;
  }
  if (std::isinf(v)) return false;
  value = v;
  return true;
}

bool SameReal(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }

void CheckToken(std::string_view t) {
  int vi = 0, mi = 0;
  bool pi = rt::ParseInt(t, vi);
  bool ei = ModelInt(t, mi);
  if (pi != ei || (pi && vi != mi)) Fail("ParseInt disagrees", t);

  float vf = 0, mf = 0;
  bool pf = rt::ParseFloat(t, vf);
  bool ef = ModelReal(t, mf);
  if (pf != ef || (pf && !SameReal(vf, mf))) Fail("ParseFloat disagrees", t);

  double vd = 0, md = 0;
  bool pd = rt::ParseDouble(t, vd);
  bool ed = ModelReal(t, md);
  if (pd != ed || (pd && !SameReal(vd, md))) Fail("ParseDouble disagrees", t);

  // Every integer is a real of the same value; every float is a double.
  if (pi && !(pd && vd == vi)) Fail("an integer that is not a real", t);
  if (pf && !pd) Fail("a float that is not a double", t);
}

void CheckLine(std::string_view line) {
  std::vector<std::string_view> expected = ModelTokens(line);
  std::size_t pos = 0;
  std::string_view token;
  std::size_t n = 0;
  while (rt::NextToken(line, pos, token)) {
    if (n >= expected.size()) Fail("NextToken found an extra token", line);
    if (token != expected[n]) Fail("NextToken token differs", line);
    if (token.data() != expected[n].data()) Fail("NextToken token at the wrong place", line);
    if (pos != static_cast<std::size_t>(token.data() + token.size() - line.data()))
      Fail("NextToken left pos elsewhere", line);
    CheckToken(token);
    ++n;
  }
  if (n != expected.size()) Fail("NextToken missed a token", line);
  if (pos != line.size()) Fail("NextToken did not end at the end", line);
}

// The console reads of a dialogue, with the answers the model expects.
struct Model {
  std::vector<std::string> lines;
  std::size_t next = 0;

  const std::string& Line() {
    if (next >= lines.size()) Fail("model ran out of lines", "");
    return lines[next++];
  }
  // `count` values from a new line on; parse(k, token) converts value k.
  template <class Parse>
  bool Read(int count, Parse parse) {
    std::string_view line = Line();
    std::vector<std::string_view> tokens = ModelTokens(line);
    std::size_t t = 0;
    for (int k = 0; k < count; ++k) {
      while (t >= tokens.size()) {
        line = Line();
        tokens = ModelTokens(line);
        t = 0;
      }
      if (!parse(k, tokens[t++])) return false;
    }
    return true;
  }
};

// The dialogue's kinds of read, each repeated until it succeeds, and Enter
// waits. The input ends with one sentinel line per step, each an answer every
// kind accepts, so no step can reach the end of input.
enum Step { kInt, kDouble, kPair, kEnter };
constexpr Step kScript[] = {kInt, kInt, kEnter, kInt, kDouble, kPair, kInt, kPair, kEnter, kDouble};

void CheckConsole(const std::string& data) {
  std::string input = data + "\n";
  for (std::size_t s = 0; s < sizeof kScript / sizeof kScript[0]; ++s) input += "1 1\n";

  Model model{SplitLines(input)};
  std::FILE* fp = fmemopen(input.data(), input.size(), "r");
  if (fp == nullptr) Fail("fmemopen failed", "");
  std::FILE* saved = stdin;
  stdin = fp;

  for (Step step : kScript) {
    switch (step) {
      case kInt:
        for (;;) {
          int v = -7, m = -7;
          bool got = rt::ReadInt(v);
          bool want = model.Read(1, [&](int, std::string_view t) { return ModelInt(t, m); });
          if (got != want || (got && v != m)) Fail("ReadInt disagrees", data);
          if (got) break;
        }
        break;
      case kDouble:
        for (;;) {
          double v = -7, m = -7;
          bool got = rt::ReadDouble(v);
          bool want = model.Read(1, [&](int, std::string_view t) { return ModelReal(t, m); });
          if (got != want || (got && !SameReal(v, m))) Fail("ReadDouble disagrees", data);
          if (got) break;
        }
        break;
      case kPair:
        for (;;) {
          float a = -7, b = -7;
          float ma = 0, mb = 0;
          bool got = rt::ReadRealPair(a, b);
          bool want = model.Read(2, [&](int k, std::string_view t) { return ModelReal(t, k == 0 ? ma : mb); });
          if (got != want) Fail("ReadRealPair disagrees", data);
          // A refused pair leaves both values alone.
          if (!got && (a != -7 || b != -7)) Fail("ReadRealPair changed its values on a read error", data);
          if (got && !(SameReal(a, ma) && SameReal(b, mb))) Fail("ReadRealPair values differ", data);
          if (got) break;
        }
        break;
      case kEnter:
        rt::WaitEnter();
        model.Line();
        break;
    }
  }
  // Both consumed the same lines: the next line is the same.
  std::string rest;
  int c;
  while ((c = std::getc(stdin)) != EOF && c != '\n') rest.push_back(static_cast<char>(c));
  if (!rest.empty() && rest.back() == '\r') rest.pop_back();
  std::string expected_rest = model.next < model.lines.size() ? model.lines[model.next] : std::string();
  if (rest != expected_rest) Fail("console and model are on different lines", data);

  stdin = saved;
  std::fclose(fp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  std::string data(reinterpret_cast<const char*>(bytes), size);
  for (const std::string& line : SplitLines(data)) CheckLine(line);
  CheckConsole(data);
  return 0;
}
