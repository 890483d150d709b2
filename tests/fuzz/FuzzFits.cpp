// FITS files, plain and in their compressed forms.
#include "FuzzReader.h"

OBRA_FUZZ_READER(".fits", ".fts", ".fit")
