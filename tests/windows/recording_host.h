// The recording host's own interface, for the Windows loader: what the module asked of the host,
// in order, and the calls of its LISP functions. The host's API itself is host/arxhost.h; this
// library implements it with the stand-in's runtime, databases and summary information where
// they build for Windows, and records everything else.
#pragma once

#include "host/arxhost.h"

extern "C" {
// The events recorded so far, one line each ("defun getsumleaf 1"), in order. The text is the
// host's and stays valid until the next call of arxhostTakeEvents.
ACHOST_PORT int arxhostEventCount();
ACHOST_PORT const char* arxhostEvent(int index);
// Forgets the events recorded so far.
ACHOST_PORT void arxhostTakeEvents();

// Opens a call of the function under `code` with `args` (borrowed until arxhostEndCall) as
// acedGetArgs gives them, and no result yet.
ACHOST_PORT void arxhostBeginCall(int code, const resbuf* args);
// Runs the handler registered for direct calls under the code of the open call. False when
// none is registered.
ACHOST_PORT bool arxhostCallDirect();
// Closes the call and returns its result as text: "none" when nothing was set, "nil", or the
// list, as (("Title" "") ...). Valid until the next call.
ACHOST_PORT const char* arxhostEndCall();
}
