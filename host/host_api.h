// The host API, all of it: the one header the module includes. Building against the real host
// means pointing this header at the host's own declarations.
#pragma once

#include "host/host_port.h"
#include "host/status_codes.h"
#include "host/lisp_values.h"
#include "host/lisp_calls.h"
#include "host/heap.h"
#include "host/host_string.h"
#include "host/runtime_classes.h"
#include "host/database.h"
#include "host/summary_info.h"
#include "host/documents.h"
#include "host/wide_runtime.h"
#include "host/registry.h"
#include "host/module_app.h"
#include "host/document_records.h"
#include "host/windows_api.h"
#include "host/ui_extension.h"
#include "host/ui_library.h"
