// Free-form value syntax shared by console answers and series-file lines.
#pragma once

#include <cstddef>
#include <string_view>

namespace rt {

// True for the value separators: blank, tab, comma.
bool IsSeparator(char c);

// Finds the next value token of `line` starting at `pos`; on success sets
// `token`, advances `pos` past it and returns true; false when the line holds
// no further value.
bool NextToken(std::string_view line, std::size_t& pos, std::string_view& token);

// Token parsers: true when the whole token is a number of the asked type.
// Integers: optional sign and decimal digits within the 32-bit range.
// Reals: optional sign, digits with an optional point, an optional exponent
// introduced by e, E, d or D. NaN, Infinity, hexadecimal forms and values that
// overflow the target type are not numbers. A float is rounded once, straight
// from the decimal text.
bool ParseInt(std::string_view token, int& value);
bool ParseFloat(std::string_view token, float& value);
bool ParseDouble(std::string_view token, double& value);

}  // namespace rt
