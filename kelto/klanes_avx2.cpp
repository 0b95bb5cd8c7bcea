// The lane kernels for processors with AVX2 (this file is built with -mavx2).
#include <immintrin.h>

#define KL_W 4
namespace rb::klanes::avx2 {
#include "klanes_impl.h"
}  // namespace rb::klanes::avx2
