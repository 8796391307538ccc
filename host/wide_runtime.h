// The platform runtime library's wide-string and path functions that the module uses. On the
// host's own platform these come from its C runtime; elsewhere the stand-in host provides them.
#pragma once

#include <cstddef>

#include "host/host_port.h"

#if defined(_WIN32)
#include <stdlib.h> // _wfullpath
#include <wchar.h>  // _wcsicmp, wcscpy_s
#else
extern "C" {
typedef int errno_t;
// Writes the absolute form of `path` into `buffer` (room for `size` characters including the
// terminator) and returns `buffer`; nullptr when it does not fit or `path` is invalid, and then
// `buffer` is not to be relied on.
HOST_API_PORT wchar_t* _wfullpath(wchar_t* buffer, const wchar_t* path, std::size_t size);
// Compares without regard to the case of the letters A to Z: <0, 0 or >0.
HOST_API_PORT int _wcsicmp(const wchar_t* a, const wchar_t* b);
// Copies `source` with its terminator into `destination` (room for `size` characters).
// A source that does not fit, a null pointer or no room at all is an invalid parameter: the
// runtime's handler is called, and by default it ends the process. Only when a handler returns:
// nonzero, `destination` (when there is one) emptied, nothing written past it. Callers check
// the length first.
HOST_API_PORT errno_t wcscpy_s(wchar_t* destination, std::size_t size, const wchar_t* source);
}
#endif
