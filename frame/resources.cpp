// The module's version resource.
#include "host/modres.h"

GSL_VERSION_RESOURCE(GSL_VERSION_MAJOR, GSL_VERSION_MINOR, GSL_VERSION_PATCH, GSL_VERSION_TWEAK);
