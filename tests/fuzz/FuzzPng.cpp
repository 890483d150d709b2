// PNG input.
#include "FuzzReader.h"

OBRA_FUZZ_READER(".png")
