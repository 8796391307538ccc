// External LISP functions as the stand-in host runs them: the functions that modules define
// per document (acedDefun, acedUndef, acedRegFunc) and the call machinery behind acedGetArgs,
// acedGetFunCode, acedRetNil and acedRetList.
#pragma once

#include <string>
#include <vector>

#include "host/lisp_values.h"

namespace minihost {

class OpenDocument;

struct CallResult {
    enum Kind {
        NotDefined, // no such function in the current document
        NoResult,   // the handler set no result
        Nil,        // acedRetNil
        Value       // acedRetList: `value` holds the host's copy
    };
    Kind kind = NotDefined;
    resbuf* value = nullptr; // owned by the receiver: release with acutRelRb
    int handlerReturned = 0; // what the handler returned (0 when none ran)
};

// Invokes the function `name` as defined in the current document, with `args` (borrowed, may
// be nullptr) as acedGetArgs() gives them: directly through its registered handler when one
// is registered under its code, otherwise through message 5 to the module that defined it,
// with acedGetFunCode() set to the function's code.
CallResult invokeExternal(const std::wstring& name, const resbuf* args);

// Sends message 5 to `module` (a loadModule handle) with acedGetFunCode() giving `code` and
// `args` (borrowed, may be nullptr) as acedGetArgs() gives them: what the host does for a
// function the module defined under `code`, whatever its name. NotDefined when `module` is not
// loaded.
CallResult invokeByCode(void* module, int code, const resbuf* args);

// Runs `handler` as a directly registered external function under `code`, with `args`
// (borrowed) as its arguments. For tests of handlers without a loaded module.
CallResult callHandler(int (*handler)(), int code, const resbuf* args);

// The names of the functions defined in the current document, in definition order.
std::vector<std::wstring> definedFunctions();

} // namespace minihost
