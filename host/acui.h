// The host's user-interface library, which a module initialises when it is attached.
#pragma once

#include "host_port.h"

ACHOST_PORT void InitAcUiDLL();
