// The host's LISP interpreter: external functions, their arguments and results, and the
// list-building functions. All calls happen on the host's thread.
#pragma once

#include "host/status_codes.h"
#include "host/lisp_values.h"
#include "host/host_port.h"

extern "C" {

// Defines LISP function `name` under `code` in the current document. Returns RTNORM or RTERROR.
HOST_API_PORT int acedDefun(const ACHAR* name, int code);
// Registers `handler` to be called directly when the function under `code` is invoked.
HOST_API_PORT int acedRegFunc(int (*handler)(), int code);
// Removes the definition of `name` under `code` from the current document.
HOST_API_PORT int acedUndef(const ACHAR* name, int code);
// The code of the function being invoked (meaningful during message 5 or a direct call).
HOST_API_PORT int acedGetFunCode();
// The argument chain of the call in progress, or nullptr when there are none. Borrowed: the
// host owns it; the caller only reads it.
HOST_API_PORT struct resbuf* acedGetArgs();
// Sets nil as the result of the call in progress.
HOST_API_PORT int acedRetNil();
// Sets `list` as the result of the call in progress. The host keeps its own copy; the caller
// still owns `list`.
HOST_API_PORT int acedRetList(const struct resbuf* list);

// Returns a new chain, one node per type code, ended by RTNONE. RTSTR takes a `const ACHAR*`
// whose text is copied; RTREAL a double; RTSHORT and RTLONG an int; RTLB, RTLE, RTDOTE, RTNIL
// and RTT take no value. Returns nullptr on failure (nothing is left allocated then). The
// caller owns the chain and releases it with acutRelRb.
HOST_API_PORT struct resbuf* acutBuildList(int rtype, ...);
// Releases a whole chain made by acutBuildList, with its string texts. Accepts nullptr.
HOST_API_PORT int acutRelRb(struct resbuf* chain);

} // extern "C"

// Stores in `out` a newly allocated copy of `source`, which the caller releases with free().
// `out` is left as it was when no copy could be made.
HOST_API_PORT Acad::ErrorStatus acutNewString(const ACHAR* source, ACHAR*& out);
