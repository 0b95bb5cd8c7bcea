// The moment sums for processors with AVX2 (this file is built with -mavx2).
namespace ivra::moments::avx2 {
#include "moment_lanes_impl.h"
}  // namespace ivra::moments::avx2
