// The production engine's column work, AVX2, 8 pixels at a time.
#define OBRA_LANES 8
#define OBRA_ISA avx2
#include "EqualizeColumns.inl"
