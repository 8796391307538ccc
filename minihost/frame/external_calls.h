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
        Value       // acedRetList: `value` holds the host's copy, or the ResultReceiver took it
    };
    Kind kind = NotDefined;
    resbuf* value = nullptr; // owned by the caller: release with acutRelRb
    int handlerReturned = 0; // what the handler returned (0 when none ran)
};

// Takes a call's result chain when the handler sets it with acedRetList, in place of the
// host's copy: a caller that turns the chain into values of its own makes them once, from the
// module's chain, instead of from a copy of it.
class ResultReceiver {
  public:
    // Takes what it needs of `chain` (borrowed, not nullptr: the module frees it afterwards).
    // False when it cannot (out of memory): acedRetList fails and the earlier result stands,
    // which the receiver must then keep as it was.
    virtual bool receive(const resbuf* chain) noexcept = 0;

  protected:
    ~ResultReceiver() = default;
};

// Invokes the function `name` as defined in the current document, with `args` (borrowed, may
// be nullptr) as acedGetArgs() gives them: directly through its registered handler when one
// is registered under its code, otherwise through message 5 to the module that defined it,
// with acedGetFunCode() set to the function's code. With a `receiver` (borrowed), a result
// set by acedRetList goes to it: the kind is Value and `value` stays nullptr.
CallResult invokeExternal(const std::wstring& name, const resbuf* args,
                          ResultReceiver* receiver = nullptr);

// Sends message 5 to `module` (a loadModule handle) with acedGetFunCode() giving `code` and
// `args` (borrowed, may be nullptr) as acedGetArgs() gives them: what the host does for a
// function the module defined under `code`, whatever its name. NotDefined when `module` is not
// loaded. `receiver` as for invokeExternal.
CallResult invokeByCode(void* module, int code, const resbuf* args,
                        ResultReceiver* receiver = nullptr);

// Runs `handler` as a directly registered external function under `code`, with `args`
// (borrowed) as its arguments, and `receiver` as for invokeExternal. For tests of handlers
// without a loaded module.
CallResult callHandler(int (*handler)(), int code, const resbuf* args,
                       ResultReceiver* receiver = nullptr);

// The names of the functions defined in the current document, in definition order.
std::vector<std::wstring> definedFunctions();

} // namespace minihost
