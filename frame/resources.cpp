// The module's version resource.
#include "host/resources.h"

SUMLEAF_VERSION_RESOURCE(SUMLEAF_VERSION_MAJOR, SUMLEAF_VERSION_MINOR, SUMLEAF_VERSION_PATCH,
                         SUMLEAF_VERSION_TWEAK);
