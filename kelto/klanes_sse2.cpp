// The lane kernels for every x86-64 (two doubles per instruction).
#include <emmintrin.h>

#define KL_W 2
namespace rb::klanes::sse2 {
#include "klanes_impl.h"
}  // namespace rb::klanes::sse2
