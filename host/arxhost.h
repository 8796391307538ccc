// The host API, all of it: the one header the module includes. Building against the real host
// means pointing this header at the host's own declarations.
#pragma once

#include "host_port.h"
#include "acad_status.h"
#include "adsdefs.h"
#include "acedads.h"
#include "acheap.h"
#include "acstring.h"
#include "rxobject.h"
#include "dbmain.h"
#include "summinfo.h"
#include "acdocman.h"
#include "wcrt.h"
#include "rxregistry.h"
#include "arxapp.h"
#include "dataman.h"
#include "winapi.h"
#include "mfcext.h"
#include "acui.h"
