// JPEG input.
#include "FuzzReader.h"

OBRA_FUZZ_READER(".jpg", ".jpeg")
