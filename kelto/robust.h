// Fast forms of the robust estimators under the regression score. They give
// the bits of the plain forms (robust_plain.h), without their heapsorts: a
// median needs the middle values of the sorted vector, not the sorted vector,
// and any correct selection finds the same values as long as no NaN takes
// part. Vectors with a NaN go through the plain heapsort, whose placement
// rules decide there.
#pragma once

#include <vector>

namespace rb {

// Work vectors kept by the caller from call to call.
struct EstimatorWork {
  std::vector<float> w, u, v;
  std::vector<float> sel, buf;  // selection work
  std::vector<unsigned char> bucket;
};

float AMO(int N, const float* X, EstimatorWork& work);
void ROBCORRCOEFF(int N, const float* X, const float* Y, float& R, EstimatorWork& work);

// Grows v to at least `size` elements; never shrinks, so that a run of calls
// allocates only while its sizes still grow.
template <class T>
void Grow(std::vector<T>& v, long size) {
  if (long(v.size()) < size) v.resize(std::size_t(size));
}

}  // namespace rb
