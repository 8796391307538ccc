#include "frame/external_function.h"

GSL_EXTERNAL_FUNCTION_EMPTY_SLOT(gapRow);
