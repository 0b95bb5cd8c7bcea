// Column-major, 1-based access to single-precision vectors and matrices held in
// plain arrays. Every routine receives its arrays with explicit dimensions and
// reads and writes them through these two views.
#pragma once

#include <cstddef>

namespace wv {

// Matrix view: element (i, j), 1-based, of a column-major array with leading
// dimension ld.
struct Mat {
  float* p;
  int ld;
  float& operator()(int i, int j) const {
    return p[static_cast<std::ptrdiff_t>(i - 1) +
             static_cast<std::ptrdiff_t>(j - 1) * static_cast<std::ptrdiff_t>(ld)];
  }
};

// Vector view: element i, 1-based.
struct Vec {
  float* p;
  float& operator()(int i) const { return p[i - 1]; }
};

}  // namespace wv
