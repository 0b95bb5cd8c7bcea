// The sums of a window's second moments, in a baseline x86-64 build and an
// AVX2 build (moment_lanes_impl.h), chosen by the caller (wv::HasAvx2); both give
// the same bits.
#pragma once

namespace ivra::moments {

// sums(e) = sums(e) + slot(first)(e) + slot(first+1)(e) + ... over `count`
// consecutive slots of `width` doubles each (width a multiple of 4), every
// element its own sum in ascending order of the slots.
void AddSlots(bool avx2, const double* slots, int width, int first, int count, double* sums);

}  // namespace ivra::moments
