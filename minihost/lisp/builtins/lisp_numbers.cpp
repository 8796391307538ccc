// Numbers: arithmetic with the host's 32-bit integers (which wrap around) and reals,
// comparisons of numbers and strings, and the conversions between numbers and text.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cwchar>

#include "minihost/lisp/builtins/lisp_builtins.h"
#include "minihost/lisp/lisp_printer.h"
#include "minihost/lisp/builtins/lisp_text16.h"

namespace minihost::lisp {
namespace {

// The 32-bit integer an exact result wraps around to, as the host's integers do.
ValuePtr wrapped(std::int64_t n) {
    return integer(static_cast<std::int32_t>(static_cast<std::uint32_t>(n)));
}

enum class Op { Add, Sub, Mul, Div, Rem };

// One step of an arithmetic builtin: integers stay integers, a real makes the result real.
ValuePtr step(Op op, const ValuePtr& a, const ValuePtr& b) {
    double x = numberArg(a), y = numberArg(b);
    if ((op == Op::Div || op == Op::Rem) && y == 0)
        throw LispError("divide by zero");
    if (a->kind == Kind::Int && b->kind == Kind::Int) {
        std::int64_t i = a->integer, j = b->integer;
        switch (op) {
        case Op::Add:
            return wrapped(i + j);
        case Op::Sub:
            return wrapped(i - j);
        case Op::Mul:
            return wrapped(i * j);
        case Op::Div:
            return wrapped(i / j);
        case Op::Rem:
            return wrapped(i % j);
        }
    }
    switch (op) {
    case Op::Add:
        return real(x + y);
    case Op::Sub:
        return real(x - y);
    case Op::Mul:
        return real(x * y);
    case Op::Div:
        return real(x / y);
    default:
        return real(std::fmod(x, y));
    }
}

// (+), (*) and the others without arguments give 0; (- x) is -x; otherwise left to right.
Interpreter::Function arithmetic(Op op) {
    return [op](Interpreter&, const Args& args) {
        if (args.empty())
            return integer(0);
        numberArg(args[0]);
        if (args.size() == 1 && op == Op::Sub)
            return step(Op::Sub, integer(0), args[0]);
        ValuePtr value = args[0];
        for (std::size_t i = 1; i < args.size(); ++i)
            value = step(op, value, args[i]);
        return value;
    };
}

// -1, 0 or 1: numbers by value, strings by their UTF-16 units; other values are no numbers.
int compare(const ValuePtr& a, const ValuePtr& b) {
    if (a->kind == Kind::Str && b->kind == Kind::Str) {
        int c = toUtf16(a->text).compare(toUtf16(b->text));
        return c < 0 ? -1 : c > 0;
    }
    double x = numberArg(a), y = numberArg(b);
    return x < y ? -1 : x > y;
}

// A comparison of each argument with the next: (< 1 2 3) is T. /= asks only that neighbours
// differ.
Interpreter::Function comparison(bool (*holds)(int)) {
    return [holds](Interpreter&, const Args& args) {
        expectArgs(args, 1, SIZE_MAX);
        if (args.size() == 1)
            compare(args[0], args[0]);
        for (std::size_t i = 0; i + 1 < args.size(); ++i)
            if (!holds(compare(args[i], args[i + 1])))
                return nil();
        return t();
    };
}

ValuePtr minMax(const Args& args, bool max) {
    if (args.empty())
        return integer(0);
    ValuePtr best = args[0];
    bool anyReal = false;
    for (const ValuePtr& arg : args) {
        anyReal = anyReal || arg->kind == Kind::Real;
        if (max ? numberArg(arg) > numberArg(best) : numberArg(arg) < numberArg(best))
            best = arg;
    }
    return anyReal ? real(numberArg(best)) : best;
}

ValuePtr unary(const ValuePtr& v, std::int64_t (*onInt)(std::int64_t), double (*onReal)(double)) {
    numberArg(v);
    return v->kind == Kind::Int ? wrapped(onInt(v->integer)) : real(onReal(v->real));
}

ValuePtr fix(const ValuePtr& v) {
    double r = std::trunc(numberArg(v));
    // Beyond 32 bits the host answers with the truncated real.
    if (r < INT32_MIN || r > INT32_MAX)
        return real(r);
    return integer(static_cast<std::int32_t>(r));
}

ValuePtr atoi(const std::wstring& text) {
    long long n = std::wcstoll(text.c_str(), nullptr, 10);
    return integer(static_cast<std::int32_t>(std::clamp<long long>(n, INT32_MIN, INT32_MAX)));
}

} // namespace

std::string rtosText(double r, int mode, int precision); // lisp_rtos.cpp

void defineNumberBuiltins(Interpreter& in) {
    in.define(L"+", arithmetic(Op::Add));
    in.define(L"-", arithmetic(Op::Sub));
    in.define(L"*", arithmetic(Op::Mul));
    in.define(L"/", arithmetic(Op::Div));
    in.define(L"rem", arithmetic(Op::Rem));
    in.define(L"1+", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return step(Op::Add, args[0], integer(1));
    });
    in.define(L"1-", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return step(Op::Sub, args[0], integer(1));
    });
    in.define(L"abs", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return unary(
            args[0], [](std::int64_t n) { return n < 0 ? -n : n; },
            [](double r) { return std::fabs(r); });
    });
    in.define(L"min", [](Interpreter&, const Args& args) { return minMax(args, false); });
    in.define(L"max", [](Interpreter&, const Args& args) { return minMax(args, true); });
    in.define(L"=", comparison([](int c) { return c == 0; }));
    in.define(L"/=", comparison([](int c) { return c != 0; }));
    in.define(L"<", comparison([](int c) { return c < 0; }));
    in.define(L">", comparison([](int c) { return c > 0; }));
    in.define(L"<=", comparison([](int c) { return c <= 0; }));
    in.define(L">=", comparison([](int c) { return c >= 0; }));
    in.define(L"numberp", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return truth(isNumber(args[0]));
    });
    in.define(L"zerop", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return truth(numberArg(args[0]) == 0);
    });
    in.define(L"minusp", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return truth(numberArg(args[0]) < 0);
    });
    in.define(L"fix", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return fix(args[0]);
    });
    in.define(L"float", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return real(numberArg(args[0]));
    });
    in.define(L"itoa", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return string(std::to_wstring(intArg(args[0])));
    });
    in.define(L"atoi", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return atoi(stringArg(args[0]));
    });
    in.define(L"atof", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return real(std::wcstod(stringArg(args[0]).c_str(), nullptr));
    });
    in.define(L"rtos", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 3);
        double r = numberArg(args[0]);
        int mode = args.size() > 1 && !isNil(args[1]) ? intArg(args[1]) : 2;
        int precision = args.size() > 2 && !isNil(args[2]) ? intArg(args[2]) : 4;
        return string(fromUtf8(rtosText(r, mode, precision)));
    });
}

} // namespace minihost::lisp
