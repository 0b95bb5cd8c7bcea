// Constants of the robust regression's descent and of the robust principal
// direction's ascent, shared by the fast and the straightforward forms. They are
// single-precision values used in double arithmetic: the tolerance, for
// instance, is the float nearest to 0.001, not the double.
#pragma once

namespace rb {

namespace regression_search {
constexpr double kLow = double(0.381966f);
constexpr double kHigh = double(0.618034f);
constexpr double kTol = double(0.001f);
constexpr double kMinGain = double(-0.01f);
constexpr double kBracket = double(10.0f);
constexpr double kHalf = double(0.5f);
constexpr int kMaxIter = 1000;
}  // namespace regression_search

namespace direction_search {
constexpr double kLow = double(0.381966f);
constexpr double kHigh = double(0.618034f);
constexpr float kMinGain = 0.01f;
constexpr int kMaxIter = 1000;
// A search over a finite bracket ends after 16 passes. One that is still
// running long after that has a bracket whose width cannot fall below its
// tolerance (denormal or vanishing step lengths) and would never end.
constexpr int kMaxPasses = 100;
}  // namespace direction_search

}  // namespace rb
