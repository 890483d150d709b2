// The production engine's column work, baseline x86-64 (SSE2), 4 pixels at a time.
#define OBRA_LANES 4
#define OBRA_ISA baseline
#include "EqualizeColumns.inl"
