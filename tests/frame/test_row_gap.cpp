#include "common/function_rows.h"
#include "host/host_api.h"

SUMLEAF_EXTERNAL_FUNCTION_EMPTY_SLOT(gapRow);
