// The production engine's column work, AVX-512, 16 pixels at a time.
#define OBRA_LANES 16
#define OBRA_ISA avx512
#include "EqualizeColumns.inl"
