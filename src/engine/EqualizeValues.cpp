// The production engine by value, baseline x86-64 (SSE2), 4 rows per group.
#define OBRA_LANES 4
#define OBRA_ISA baselinev
#include "EqualizeValues.inl"
