// AddSlots over lanes of ML_W doubles (2 in the baseline build, 4 with AVX2),
// included into one namespace per instruction set. Each lane is one element's
// own sum, its terms in the order of the slots: only independent sums share
// a register. Compiler built-ins only, so that nothing built for the wider
// instruction set is shared with code that must run on any x86-64.

typedef double V4 __attribute__((vector_size(32), aligned(8)));

namespace {

// Groups of Q quads of elements held in registers across the slots.
template <int Q>
inline __attribute__((always_inline)) void AddGroup(const double* slots, int width, int first, int count,
                                                    int e0, double* sums) {
  V4 acc[Q];
#pragma GCC unroll 8
  for (int q = 0; q < Q; ++q) acc[q] = *(const V4*)(sums + e0 + 4 * q);
  const double* p = slots + static_cast<long>(first) * width + e0;
  for (int n = 0; n < count; ++n, p += width) {
#pragma GCC unroll 8
    for (int q = 0; q < Q; ++q) acc[q] = acc[q] + *(const V4*)(p + 4 * q);
  }
#pragma GCC unroll 8
  for (int q = 0; q < Q; ++q) *(V4*)(sums + e0 + 4 * q) = acc[q];
}

}  // namespace

void AddSlots(const double* slots, int width, int first, int count, double* sums) {
  constexpr int kGroup = 6;  // quads that stay in registers (12 of SSE2's 16)
  for (int e0 = 0; e0 < width; e0 += 4 * kGroup) {
    switch ((width - e0) / 4 < kGroup ? (width - e0) / 4 : kGroup) {
      case 1: AddGroup<1>(slots, width, first, count, e0, sums); break;
      case 2: AddGroup<2>(slots, width, first, count, e0, sums); break;
      case 3: AddGroup<3>(slots, width, first, count, e0, sums); break;
      case 4: AddGroup<4>(slots, width, first, count, e0, sums); break;
      case 5: AddGroup<5>(slots, width, first, count, e0, sums); break;
      default: AddGroup<kGroup>(slots, width, first, count, e0, sums); break;
    }
  }
}
