// Control forms beyond if, progn and foreach: cond, while, repeat, and, or; eq, and equal
// with a fuzz.
#include <cmath>

#include "minihost/lisp/builtins/lisp_builtins.h"
#include "minihost/lisp/lisp_printer.h"

namespace minihost::lisp {
namespace {

// Each clause is (test expr...): the first whose test is not nil gives the value of its last
// expression, or of the test when it has none.
ValuePtr cond(Interpreter& in, const Args& clauses) {
    for (const ValuePtr& clause : clauses) {
        if (!isList(clause) || clause->tail)
            throw LispError("bad argument type: consp " + prin1Text(clause));
        ValuePtr value = in.eval(clause->items.front());
        if (isNil(value))
            continue;
        for (std::size_t i = 1; i < clause->items.size(); ++i)
            value = in.eval(clause->items[i]);
        return value;
    }
    return nil();
}

ValuePtr whileLoop(Interpreter& in, const Args& args) {
    expectArgs(args, 1, SIZE_MAX);
    ValuePtr value = nil();
    while (!isNil(in.eval(args[0])))
        for (std::size_t i = 1; i < args.size(); ++i)
            value = in.eval(args[i]);
    return value;
}

ValuePtr repeat(Interpreter& in, const Args& args) {
    expectArgs(args, 1, SIZE_MAX);
    std::int32_t times = intArg(in.eval(args[0]));
    ValuePtr value = nil();
    if (args.size() == 1)
        return value;
    for (std::int32_t n = 0; n < times; ++n)
        for (std::size_t i = 1; i < args.size(); ++i)
            value = in.eval(args[i]);
    return value;
}

// Identity as the host sees it: the same list or string object; numbers, symbols alike.
bool same(const ValuePtr& a, const ValuePtr& b) {
    if (a == b)
        return true;
    if (a->kind != b->kind)
        return false;
    switch (a->kind) {
    case Kind::Nil:
    case Kind::T:
        return true;
    case Kind::Int:
        return a->integer == b->integer;
    case Kind::Sym:
    case Kind::Subr:
        return a->text == b->text;
    default:
        return false;
    }
}

// equal with a fuzz: numbers (also inside lists) that differ by no more than `fuzz` are equal.
bool equalWithin(const ValuePtr& a, const ValuePtr& b, double fuzz) {
    if (isNumber(a) && isNumber(b))
        return std::fabs(numberArg(a) - numberArg(b)) <= fuzz;
    if (!isList(a) || !isList(b))
        return equal(a, b);
    if (a->items.size() != b->items.size() || !a->tail != !b->tail)
        return false;
    for (std::size_t i = 0; i < a->items.size(); ++i)
        if (!equalWithin(a->items[i], b->items[i], fuzz))
            return false;
    return !a->tail || equalWithin(a->tail, b->tail, fuzz);
}

} // namespace

void defineControlBuiltins(Interpreter& in) {
    in.define(L"cond", cond, true);
    in.define(L"while", whileLoop, true);
    in.define(L"repeat", repeat, true);
    // and and or give T or nil, as in the host, and stop at the first value that decides.
    in.define(
        L"and",
        [](Interpreter& in, const Args& args) {
            for (const ValuePtr& form : args)
                if (isNil(in.eval(form)))
                    return nil();
            return t();
        },
        true);
    in.define(
        L"or",
        [](Interpreter& in, const Args& args) {
            for (const ValuePtr& form : args)
                if (!isNil(in.eval(form)))
                    return t();
            return nil();
        },
        true);
    in.define(L"equal", [](Interpreter&, const Args& args) {
        expectArgs(args, 2, 3);
        return truth(args.size() == 3 ? equalWithin(args[0], args[1], numberArg(args[2]))
                                      : equal(args[0], args[1]));
    });
    in.define(L"eq", [](Interpreter&, const Args& args) {
        expectArgs(args, 2, 2);
        return truth(same(args[0], args[1]));
    });
}

} // namespace minihost::lisp
