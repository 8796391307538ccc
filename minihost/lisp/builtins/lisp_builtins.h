// What the builtin families share: checking their arguments the way the host reports a wrong
// one, and the functions that add each family to an interpreter.
#pragma once

#include <string>
#include <vector>

#include "minihost/lisp/lisp_interpreter.h"

namespace minihost::lisp {

using Args = std::vector<ValuePtr>;

// A number's value; LispError "bad argument type: numberp: ..." for anything else.
double numberArg(const ValuePtr& v);
bool isNumber(const ValuePtr& v);
// An integer's value; LispError "bad argument type: fixnump: ..." otherwise.
std::int32_t intArg(const ValuePtr& v);
// nil or a proper list; LispError "bad argument type: listp ..." otherwise.
const ValuePtr& properListArg(const ValuePtr& v);
// The elements of nil or a proper list (a copy).
std::vector<ValuePtr> elements(const ValuePtr& v);
// T or nil.
inline ValuePtr truth(bool b) {
    return b ? t() : nil();
}

// The families; each defines its builtins under the host's names.
void defineFunctionBuiltins(Interpreter& in); // defun lambda apply mapcar eval, catch-all
void defineControlBuiltins(Interpreter& in);  // cond while repeat and or eq
void defineNumberBuiltins(Interpreter& in);   // arithmetic, comparison, conversion
void defineListBuiltins(Interpreter& in);     // length ... vl-sort, c[ad]r
void defineStringBuiltins(Interpreter& in);   // strlen ... chr
void defineOutputBuiltins(Interpreter& in);   // princ prin1 print terpri write-line
void defineFileBuiltins(Interpreter& in);     // open close read-line, then the folder ones
void defineFolderBuiltins(Interpreter& in);   // findfile, vl-directory-files, vl-file-*, names

} // namespace minihost::lisp
