// Parts of the square decomposition (rsvd_square.cpp) four numbers at a time
// in the lanes of an AVX register: step 1 for four matrices at once, and the
// rotations of U four rows at a time. Built for processors with AVX2 only
// (rsvd_quad_avx2.cpp), for callers that have checked the processor.
#pragma once

#include "rsvd.h"

namespace wv::quad {

constexpr float kNormTol = 1e-20f;  // as in RSVD

// The Householder bidiagonalisation of the n by n matrices a[0..3] (columns
// of n floats), each lane with exactly the operations of the one-matrix form;
// a null a[w] is a lane with no matrix. colnrm[w] and rownrm[w] receive the
// n norms of lane w (rownrm[w][0] = 0). `m` is room for 4*n*n floats, `f` for
// 4*n doubles.
void Bidiagonalise(int n, float* const* a, float* const* colnrm, float* const* rownrm, float* m,
                   double* f);

// For c = 0..count-1, the plane rotations r[c][0..steps[c]-1] of the columns
// of u[c] (n rows, columns ld floats apart), in order: (y, z) -> (y*cs + z*sn,
// z*cs - y*sn) in every row, each rounded to float; four rows at a time.
void ApplyRotations(int n, int count, float* const* u, long ld, const RsvdWork::Rotation* const* r,
                    const int* steps);

}  // namespace wv::quad
