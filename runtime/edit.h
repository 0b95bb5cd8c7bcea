// Text editing of numbers for output records.
#pragma once

#include <string>

namespace rt {

// General editing of x in a field of width w with d significant digits
// (value field: w 15, d 6; time mark: w 20, d 10). Rounding to d digits is
// judged on the exact binary value, a 5 or more in the next digit rounding the
// magnitude up. Exact zero: fixed form with d decimals filling the field.
// Magnitudes in [0.1, 10^d): fixed form in w-4 positions plus 4 blanks.
// Otherwise exponent form 0.dddd E+xx (three-digit exponents as +xxx).
// Infinities are "Infinity"/"-Infinity", a NaN "NaN", right-justified; a
// negative zero is the zero text with "-" before it. Text that does not fit
// fills the field with asterisks.
std::string EditG(double x, int w, int d);

// Integer right-justified in a field of width w; asterisks when it does not fit.
std::string EditI(long long value, int w);

}  // namespace rt
