// The host's user-interface library, which a module initialises when it is attached.
#pragma once

#include "host/host_port.h"

HOST_API_PORT void InitAcUiDLL();
