// User functions and calling functions: defun, lambda, function, apply, mapcar, eval, and the
// catch-all forms that let a script go on after an error.
#include "minihost/lisp/lisp_functions.h"

#include "minihost/lisp/builtins/lisp_builtins.h"
#include "minihost/lisp/lisp_printer.h"

namespace minihost::lisp {

ValuePtr makeFunction(const std::wstring& name, const ValuePtr& params,
                      const std::vector<ValuePtr>& body) {
    auto function = std::make_shared<UserFunction>();
    function->name = name;
    bool locals = false;
    for (const ValuePtr& param : elements(params)) {
        if (param->kind != Kind::Sym)
            throw LispError("bad argument type: symbolp " + prin1Text(param));
        if (param->text == L"/" && !locals)
            locals = true;
        else
            (locals ? function->locals : function->params).push_back(param->text);
    }
    function->body = body;
    auto value = std::make_shared<Value>();
    value->kind = Kind::Usubr;
    value->function = std::move(function);
    return value;
}

void Bindings::bind(const std::wstring& name, ValuePtr value) {
    mSaved.emplace_back(name, mIn.lookup(name));
    mIn.assign(name, std::move(value));
}

Bindings::~Bindings() {
    for (auto saved = mSaved.rbegin(); saved != mSaved.rend(); ++saved)
        mIn.assign(saved->first, std::move(saved->second));
}

namespace {

const ValuePtr& symbolOf(const ValuePtr& v) {
    if (v->kind != Kind::Sym)
        throw LispError("bad argument type: symbolp " + prin1Text(v));
    return v;
}

ValuePtr defun(Interpreter& in, const Args& args) {
    expectArgs(args, 2, SIZE_MAX);
    const ValuePtr& name = symbolOf(args[0]);
    in.assign(name->text, makeFunction(name->text, args[1], Args(args.begin() + 2, args.end())));
    return name;
}

ValuePtr lambda(Interpreter&, const Args& args) {
    expectArgs(args, 1, SIZE_MAX);
    return makeFunction(L"-lambda-", args[0], Args(args.begin() + 1, args.end()));
}

ValuePtr mapcar(Interpreter& in, const Args& args) {
    expectArgs(args, 2, SIZE_MAX);
    std::vector<std::vector<ValuePtr>> lists;
    std::size_t shortest = SIZE_MAX;
    for (std::size_t i = 1; i < args.size(); ++i) {
        lists.push_back(elements(args[i]));
        shortest = std::min(shortest, lists.back().size());
    }
    std::vector<ValuePtr> results;
    for (std::size_t k = 0; k < shortest; ++k) {
        std::vector<ValuePtr> callArgs;
        for (const auto& items : lists)
            callArgs.push_back(items[k]);
        results.push_back(in.apply(args[0], callArgs));
    }
    return list(std::move(results));
}

ValuePtr catchAllApply(Interpreter& in, const Args& args) {
    expectArgs(args, 2, 2);
    const std::vector<ValuePtr> callArgs = elements(args[1]);
    try {
        return in.catching([&] { return in.apply(args[0], callArgs); });
    } catch (const LispError& error) {
        return special(Kind::Error, fromUtf8(error.what()));
    } catch (const std::bad_alloc&) {
        return special(Kind::Error, L"out of memory");
    }
}

ValuePtr catchAllMessage(Interpreter&, const Args& args) {
    expectArgs(args, 1, 1);
    if (args[0]->kind != Kind::Error)
        throw LispError("bad argument type: catch-all-apply-error " + prin1Text(args[0]));
    return string(args[0]->text);
}

} // namespace

void defineFunctionBuiltins(Interpreter& in) {
    in.define(L"defun", defun, true);
    in.define(L"lambda", lambda, true);
    in.define(
        L"function",
        [](Interpreter&, const Args& args) {
            expectArgs(args, 1, 1);
            return args[0];
        },
        true);
    in.define(L"apply", [](Interpreter& in, const Args& args) {
        expectArgs(args, 2, 2);
        return in.apply(args[0], elements(args[1]));
    });
    in.define(L"mapcar", mapcar);
    in.define(L"eval", [](Interpreter& in, const Args& args) {
        expectArgs(args, 1, 1);
        return in.eval(args[0]);
    });
    in.define(L"vl-catch-all-apply", catchAllApply);
    in.define(L"vl-catch-all-error-p", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return truth(args[0]->kind == Kind::Error);
    });
    in.define(L"vl-catch-all-error-message", catchAllMessage);
    auto quit = [](Interpreter&, const Args& args) -> ValuePtr {
        expectArgs(args, 0, 0);
        throw LispError("quit / exit abort");
    };
    in.define(L"exit", quit);
    in.define(L"quit", quit);
}

} // namespace minihost::lisp
