// TIFF files and activation files (the same reader).
#include "FuzzReader.h"

OBRA_FUZZ_READER(".tif", ".tiff", ".act")
