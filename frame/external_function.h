// The module's LISP functions: one table, externalFunctionTable, whose rows are gathered when
// the module is linked (common/function_rows.h). The source file of each handler contributes its
// own row with SUMLEAF_EXTERNAL_FUNCTION; nothing else lists the functions. Here: walking the
// table when the host sends its messages.
#pragma once

#include "common/function_rows.h"
#include "host/host_api.h"

namespace sumleaf {

// A run of slots, [begin, end). The walk reads them by address, so begin and end may lie in
// different objects (the table's markers).
struct ExternalFunctionSlots {
    const ExternalFunctionEntry* const* begin;
    const ExternalFunctionEntry* const* end;
};

// The slots the module was linked with.
ExternalFunctionSlots externalFunctionTable();

// Message 3: defines every row's function in the current document under its code, and
// registers it for direct calls when the row asks. Names from resources are loaded from
// `instance`. Returns 0; the host's answers are ignored.
int defineExternalFunctions(ExternalFunctionSlots slots, HINSTANCE instance);
// Message 4: removes the definitions again.
int removeExternalFunctions(ExternalFunctionSlots slots, HINSTANCE instance);
// Message 5: runs the handler of the row whose code is acedGetFunCode(); nothing when no row
// has it. Returns 0.
int dispatchExternalFunction(ExternalFunctionSlots slots);

} // namespace sumleaf
