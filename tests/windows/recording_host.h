// The recording host's own interface, for the Windows loader: what the module asked of the host,
// in order, and the calls of its LISP functions. The host's API itself is host/host_api.h; this
// library implements it with the stand-in's runtime, databases and summary information where
// they build for Windows, and records everything else.
#pragma once

#include "host/host_api.h"

extern "C" {
// The events recorded so far, one line each ("defun getsumleaf 1"), in order. The text is the
// host's and stays valid until the next call of recordingHostTakeEvents.
HOST_API_PORT int recordingHostEventCount();
HOST_API_PORT const char* recordingHostEvent(int index);
// Forgets the events recorded so far.
HOST_API_PORT void recordingHostTakeEvents();

// Opens a call of the function under `code` with `args` (borrowed until recordingHostEndCall) as
// acedGetArgs gives them, and no result yet.
HOST_API_PORT void recordingHostBeginCall(int code, const resbuf* args);
// Runs the handler registered for direct calls under the code of the open call. False when
// none is registered.
HOST_API_PORT bool recordingHostCallDirect();
// Closes the call and returns its result as text: "none" when nothing was set, "nil", or the
// list, as (("Title" "") ...). Valid until the next call.
HOST_API_PORT const char* recordingHostEndCall();
}
