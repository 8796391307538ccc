#include "frame/external_function.h"

SUMLEAF_EXTERNAL_FUNCTION_EMPTY_SLOT(gapRow);
