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
