#include "moment_lanes.h"

namespace ivra::moments {

namespace sse2 {
void AddSlots(const double* slots, int width, int first, int count, double* sums);
}
#if defined(__x86_64__)
namespace avx2 {
void AddSlots(const double* slots, int width, int first, int count, double* sums);
}
#endif

bool HasAvx2() {
#if defined(__x86_64__)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

void AddSlots(bool avx2, const double* slots, int width, int first, int count, double* sums) {
#if defined(__x86_64__)
  if (avx2) {
    avx2::AddSlots(slots, width, first, count, sums);
    return;
  }
#endif
  (void)avx2;
  sse2::AddSlots(slots, width, first, count, sums);
}

}  // namespace ivra::moments
