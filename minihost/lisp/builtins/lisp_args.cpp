// Argument checks shared by the builtin families, with the host's messages.
#include "minihost/lisp/builtins/lisp_builtins.h"
#include "minihost/lisp/lisp_printer.h"

namespace minihost::lisp {

bool isNumber(const ValuePtr& v) {
    return v->kind == Kind::Int || v->kind == Kind::Real;
}

double numberArg(const ValuePtr& v) {
    if (v->kind == Kind::Int)
        return v->integer;
    if (v->kind == Kind::Real)
        return v->real;
    throw LispError("bad argument type: numberp: " + prin1Text(v));
}

std::int32_t intArg(const ValuePtr& v) {
    if (v->kind != Kind::Int)
        throw LispError("bad argument type: fixnump: " + prin1Text(v));
    return v->integer;
}

const ValuePtr& properListArg(const ValuePtr& v) {
    if (isNil(v) || (isList(v) && !v->tail))
        return v;
    throw LispError("bad argument type: listp " + prin1Text(v));
}

std::vector<ValuePtr> elements(const ValuePtr& v) {
    if (isNil(properListArg(v)))
        return {};
    return v->items;
}

} // namespace minihost::lisp
