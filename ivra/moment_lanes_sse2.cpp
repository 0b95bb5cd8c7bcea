// The moment sums for every x86-64 (two doubles per instruction).
namespace ivra::moments::sse2 {
#include "moment_lanes_impl.h"
}  // namespace ivra::moments::sse2
