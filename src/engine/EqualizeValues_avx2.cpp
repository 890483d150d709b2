#define OBRA_LANES 8
#define OBRA_ISA avx2v
#include "EqualizeValues.inl"
