// Reports of failed drawing-file operations on standard error, for a host program's verbose
// mode. Off unless the program turns them on: a host that runs a module says nothing of its
// own on a failure the module handles.
#pragma once

#include "host/status_codes.h"

namespace minihost {

// Turns the reports on or off for the rest of the process (off at start).
void setFailureReports(bool on);
bool failureReports();

// When reports are on and `status` is not eOk, prints "; OPERATION FILE: STATUS-NAME" on
// standard error, e.g. "; readDwgFile plan.dwg: eDwgCRCError". `file` is the path as the caller
// gave it (nullptr prints as ""). Returns `status`, so that a return statement can pass it on.
Acad::ErrorStatus reportFailure(const char* operation, const wchar_t* file,
                                Acad::ErrorStatus status);

} // namespace minihost
