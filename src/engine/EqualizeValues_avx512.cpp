#define OBRA_LANES 16
#define OBRA_ISA avx512v
#include "EqualizeValues.inl"
