// The production engine's column work, AVX2, 16 pixels at a time: each bin
// row is two 256-bit halves, so one index and address serve two vector
// read-modify-writes.
#define OBRA_LANES 16
#define OBRA_NATIVE_LANES 8
#define OBRA_ISA avx2wide
// Its 64-byte vectors never cross a call with external linkage, so the
// compiler's note on their calling convention does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
#include "EqualizeColumns.inl"
