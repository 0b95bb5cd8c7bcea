// What the processor runs, for the kernels chosen at run time.
#pragma once

namespace wv {

// True where the processor has AVX2 (always false off x86-64).
bool HasAvx2();

}  // namespace wv
