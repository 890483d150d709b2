// BIF header files.
#include "FuzzReader.h"

OBRA_FUZZ_READER(".bif")
