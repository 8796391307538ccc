#include "minihost/lisp/lisp_interpreter.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>

#include "host/lisp_calls.h"
#include "minihost/frame/external_calls.h"
#include "minihost/lisp/builtins/lisp_builtins.h"
#include "minihost/lisp/lisp_chain.h"
#include "minihost/lisp/lisp_functions.h"
#include "minihost/lisp/lisp_printer.h"
#include "minihost/lisp/lisp_reader.h"
#include "minihost/runtime/text/path_text.h"

namespace minihost::lisp {
namespace {

volatile std::sig_atomic_t gInterrupted = 0;

// Throws "cancelled" when Ctrl-C asked for it.
void checkInterrupt() {
    if (gInterrupted) {
        gInterrupted = 0;
        throw LispError("cancelled");
    }
}

std::wstring lower(std::wstring name) {
    for (wchar_t& c : name)
        if (c >= L'A' && c <= L'Z')
            c = c - L'A' + L'a';
    return name;
}

const ValuePtr& listArg(const ValuePtr& v) {
    if (!isNil(v) && !isList(v))
        throw LispError("bad argument type: listp " + prin1Text(v));
    return v;
}

const ValuePtr& symbolArg(const ValuePtr& v) {
    if (v->kind != Kind::Sym || v->text.empty())
        throw LispError("bad argument type: symbolp " + prin1Text(v));
    return v;
}

// Releases a result chain of an external call however its conversion ends.
struct ChainRelease {
    void operator()(resbuf* chain) const { acutRelRb(chain); }
};

} // namespace

bool isQuiet(const ValuePtr& v) {
    return v->kind == Kind::Sym && v->text.empty();
}

ValuePtr quietValue() {
    static const ValuePtr value = symbol(L"");
    return value;
}

bool isFunctionValue(const ValuePtr& v) {
    return v->kind == Kind::Subr || v->kind == Kind::Usubr ||
           (isList(v) && isSymbol(v->items.front(), L"LAMBDA"));
}

void expectArgs(const std::vector<ValuePtr>& args, std::size_t least, std::size_t most) {
    if (args.size() < least)
        throw LispError("too few arguments");
    if (args.size() > most)
        throw LispError("too many arguments");
}

const std::wstring& stringArg(const ValuePtr& v) {
    if (v->kind != Kind::Str)
        throw LispError("bad argument type: stringp " + prin1Text(v));
    return v->text;
}

Interpreter::Interpreter(std::ostream& out, std::ostream& err) : mOut(out), mErr(err) {
    defineCore();
    defineCoreFunctions();
    defineFunctionBuiltins(*this);
    defineControlBuiltins(*this);
    defineNumberBuiltins(*this);
    defineListBuiltins(*this);
    defineStringBuiltins(*this);
    defineOutputBuiltins(*this);
    defineFileBuiltins(*this);
    defineDrawingBuiltins(*this);
}

void Interpreter::define(const std::wstring& name, Function function, bool special) {
    mBuiltins[name] = Builtin{std::move(function), special};
}

ValuePtr Interpreter::variable(const std::wstring& name) const {
    auto found = mVariables.find(symbol(name)->text);
    return found == mVariables.end() ? nil() : found->second;
}

void Interpreter::setVariable(const std::wstring& name, ValuePtr value) {
    mVariables[symbol(name)->text] = std::move(value);
}

ValuePtr Interpreter::lookup(const std::wstring& upperName) const {
    auto found = mVariables.find(upperName);
    return found == mVariables.end() ? nullptr : found->second;
}

void Interpreter::assign(const std::wstring& upperName, ValuePtr value) {
    if (value)
        mVariables[upperName] = std::move(value);
    else
        mVariables.erase(upperName);
}

const Interpreter::Builtin* Interpreter::builtin(const std::wstring& upperName) const {
    auto found = mBuiltins.find(lower(upperName));
    return found == mBuiltins.end() ? nullptr : &found->second;
}

void interrupt() {
    gInterrupted = 1;
}

void clearInterrupt() {
    gInterrupted = 0;
}

ValuePtr Interpreter::eval(const ValuePtr& form) {
    checkInterrupt();
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) {
            if (++depth > kMaxEvalDepth) {
                --depth;
                throw LispError("evaluation nested too deeply (more than " +
                                std::to_string(kMaxEvalDepth) + " levels)");
            }
        }
        ~Depth() { --depth; }
    } guard(mDepth);

    switch (form->kind) {
    case Kind::Sym: {
        // A symbol's value; a builtin's name stands for the builtin, as in the host.
        auto found = mVariables.find(form->text);
        if (found != mVariables.end())
            return found->second;
        return builtin(form->text) ? special(Kind::Subr, form->text) : nil();
    }
    case Kind::List:
        return call(form);
    default:
        return form; // nil, T, numbers and strings stand for themselves
    }
}

ValuePtr Interpreter::call(const ValuePtr& form) {
    const ValuePtr& head = form->items.front();
    if (form->tail)
        throw LispError("bad function call: " + prin1Text(form));
    std::vector<ValuePtr> args(form->items.begin() + 1, form->items.end());
    if (head->kind == Kind::Sym)
        return callSymbol(head, args);
    // ((lambda (x) ...) 1): the head is evaluated to a function.
    ValuePtr function = isList(head) ? eval(head) : head;
    if (!isFunctionValue(function))
        throw LispError("bad function: " + prin1Text(function));
    for (ValuePtr& arg : args)
        arg = eval(arg);
    return apply(function, args);
}

// A call by name: the symbol's value when it is a function (defun sets it), else the builtin
// or the module's function of that name. The arguments of an unknown function are not
// evaluated.
ValuePtr Interpreter::callSymbol(const ValuePtr& head, std::vector<ValuePtr>& args) {
    ValuePtr value = lookup(head->text);
    const Builtin* found = value && isFunctionValue(value) ? nullptr : builtin(head->text);
    if (found && found->special)
        return found->function(*this, args);
    std::wstring external;
    if (!found && !(value && isFunctionValue(value))) {
        std::wstring name = lower(head->text);
        for (const std::wstring& defined : definedFunctions())
            if (lower(defined) == name)
                external = defined;
        if (external.empty() && value && !isNil(value))
            throw LispError("bad function: " + prin1Text(value));
        if (external.empty())
            throw LispError("no function definition: " + prin1Text(head));
    }
    for (ValuePtr& arg : args)
        arg = eval(arg);
    if (found)
        return found->function(*this, args);
    if (!external.empty())
        return callExternal(external, args);
    return apply(value, args);
}

ValuePtr Interpreter::apply(const ValuePtr& function, const std::vector<ValuePtr>& args) {
    switch (function->kind) {
    case Kind::Usubr:
        return callUser(*function->function, args);
    case Kind::Subr:
    case Kind::Sym: {
        ValuePtr value = function->kind == Kind::Sym ? lookup(function->text) : nullptr;
        if (value && isFunctionValue(value))
            return apply(value, args);
        if (const Builtin* found = builtin(function->text))
            return callBuiltin(*found, args);
        std::wstring name = lower(function->text);
        for (const std::wstring& defined : definedFunctions())
            if (lower(defined) == name)
                return callExternal(defined, args);
        throw LispError("no function definition: " + prin1Text(function));
    }
    case Kind::List:
        if (isFunctionValue(function))
            return callUser(
                *makeFunction(L"-lambda-", car(cdr(function)), elements(cdr(cdr(function))))
                     ->function,
                args);
        [[fallthrough]];
    default:
        throw LispError("bad function: " + prin1Text(function));
    }
}

// A special form applied to values gets them quoted, so that they are not evaluated again.
ValuePtr Interpreter::callBuiltin(const Builtin& builtin, const std::vector<ValuePtr>& args) {
    if (!builtin.special)
        return builtin.function(*this, args);
    std::vector<ValuePtr> quoted;
    for (const ValuePtr& arg : args)
        quoted.push_back(list({symbol(L"QUOTE"), arg}));
    return builtin.function(*this, quoted);
}

ValuePtr Interpreter::callUser(const UserFunction& function, const std::vector<ValuePtr>& args) {
    if (args.size() < function.params.size())
        throw LispError("too few arguments");
    if (args.size() > function.params.size())
        throw LispError("too many arguments");
    Bindings bindings(*this);
    for (std::size_t i = 0; i < args.size(); ++i)
        bindings.bind(function.params[i], args[i]);
    for (const std::wstring& local : function.locals)
        bindings.bind(local, nil());
    try {
        ValuePtr value = nil();
        for (const ValuePtr& form : function.body)
            value = eval(form);
        return value;
    } catch (const LispError& error) {
        // *error* runs where the error happened, with the locals of the calls still bound.
        if (!mErrorHandled && handleError(error.what()))
            mErrorHandled = true;
        throw;
    }
}

bool Interpreter::handleError(const std::string& message) {
    ValuePtr handler = lookup(L"*ERROR*");
    if (mCatchDepth > 0 || mInHandler || !handler || !isFunctionValue(handler))
        return false;
    // An error in the handler itself is told plainly, not handed to the handler again.
    mInHandler = true;
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{mInHandler};
    try {
        apply(handler, {string(fromUtf8(message))});
    } catch (const LispError& error) {
        mErr << "; error: " << error.what() << '\n';
    }
    return true;
}

ValuePtr Interpreter::callExternal(const std::wstring& name, const std::vector<ValuePtr>& args) {
    ArgChain chain(args);
    ResultValue made;
    CallResult result = invokeExternal(name, chain.head(), &made);
    std::unique_ptr<resbuf, ChainRelease> value(result.value); // nullptr: `made` took it
    switch (result.kind) {
    case CallResult::NotDefined:
        throw LispError("no function definition: " + utf8(symbol(name)->text));
    case CallResult::Value:
        return value ? valueOfChain(value.get()) : made.value();
    default:
        return nil(); // acedRetNil, or no result set at all
    }
}

ValuePtr Interpreter::evalText(const std::wstring& text) {
    Reader reader(text);
    ValuePtr last = nil();
    for (;;) {
        Reader::Result next = reader.next();
        if (next.status == Reader::Status::End)
            return last;
        if (next.status == Reader::Status::Incomplete)
            throw LispError("malformed list on input");
        last = eval(next.form);
    }
}

ValuePtr Interpreter::load(const std::string& path) {
    const std::wstring name = pathText(path);
    auto failed = [&](const std::string& why) {
        return LispError("LOAD failed: " + prin1Text(string(name)) + why);
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT &&
        path.find('.', path.find_last_of('/') + 1) == std::string::npos)
        fd = ::open((path + ".lsp").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        checkInterrupt(); // a FIFO waiting for a writer, given up with Ctrl-C
        throw failed("");
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))
        throw failed(""); // a folder is no file to load, as a missing file is not
    // Read straight into the text (loads nest, so nothing large goes on the stack), one byte
    // past the cap to tell a file that is too long.
    std::string bytes;
    std::size_t have = 0;
    for (;;) {
        bytes.resize(std::min(kMaxLoadBytes + 1, have + (64u << 10)));
        ssize_t got = ::read(fd, &bytes[have], bytes.size() - have);
        if (got < 0 && errno == EINTR) {
            checkInterrupt();
            continue;
        }
        if (got < 0)
            throw failed(": cannot read it");
        have += static_cast<std::size_t>(got);
        if (have > kMaxLoadBytes)
            throw failed(": longer than 16 MiB");
        if (got == 0)
            break;
    }
    bytes.resize(have);
    std::wstring text = fromUtf8(bytes);
    std::string().swap(bytes); // the bytes are not needed while the forms run
    return evalText(text);
}

void Interpreter::write(const std::string& utf8Text) {
    if (utf8Text.empty())
        return;
    mOut << utf8Text;
    mLineOpen = utf8Text.back() != '\n';
}

void Interpreter::printResult(const ValuePtr& v) {
    if (isQuiet(v)) {
        mOut.flush();
        return;
    }
    if (mLineOpen)
        write("\n");
    write(prin1Text(v) + "\n");
    mOut.flush();
}

void Interpreter::reportError(const std::string& message) {
    const bool handled = mErrorHandled;
    mErrorHandled = false;
    if (handled || handleError(message)) {
        mOut.flush();
        mErr.flush();
        return; // the user's *error* has told of it
    }
    if (mLineOpen)
        write("\n");
    mOut.flush();
    mErr << "; error: " << message << '\n';
    mErr.flush();
}

void Interpreter::warn(const std::string& message) {
    mOut.flush();
    mErr << "; " << message << '\n';
    mErr.flush();
}

// The special forms the first scripts needed; the families add the rest.
void Interpreter::defineCore() {
    define(
        L"quote",
        [](Interpreter&, const std::vector<ValuePtr>& args) {
            expectArgs(args, 1, 1);
            return args[0];
        },
        true);
    define(
        L"setq",
        [](Interpreter& in, const std::vector<ValuePtr>& args) {
            if (args.empty() || args.size() % 2 != 0)
                throw LispError("too few arguments");
            ValuePtr value = nil();
            for (std::size_t i = 0; i < args.size(); i += 2) {
                const ValuePtr& name = symbolArg(args[i]);
                value = in.eval(args[i + 1]);
                in.mVariables[name->text] = value;
            }
            return value;
        },
        true);
    define(
        L"progn",
        [](Interpreter& in, const std::vector<ValuePtr>& args) {
            ValuePtr value = nil();
            for (const ValuePtr& form : args)
                value = in.eval(form);
            return value;
        },
        true);
    define(
        L"if",
        [](Interpreter& in, const std::vector<ValuePtr>& args) {
            expectArgs(args, 2, 3);
            if (!isNil(in.eval(args[0])))
                return in.eval(args[1]);
            return args.size() == 3 ? in.eval(args[2]) : nil();
        },
        true);
    define(
        L"foreach",
        [](Interpreter& in, const std::vector<ValuePtr>& args) {
            expectArgs(args, 2, SIZE_MAX);
            const std::wstring& name = symbolArg(args[0])->text;
            ValuePtr items = listArg(in.eval(args[1]));
            // The loop variable is the loop's own: its previous value comes back afterwards.
            Bindings bindings(in);
            bindings.bind(name, nil());
            ValuePtr value = nil();
            if (isList(items)) {
                for (const ValuePtr& item : items->items) {
                    in.assign(name, item);
                    for (std::size_t i = 2; i < args.size(); ++i)
                        value = in.eval(args[i]);
                }
            }
            return value;
        },
        true);
}

// The first builtins on lists and values; the families add the rest.
void Interpreter::defineCoreFunctions() {
    define(L"list", [](Interpreter&, const std::vector<ValuePtr>& args) { return list(args); });
    define(L"car", [](Interpreter&, const std::vector<ValuePtr>& args) {
        expectArgs(args, 1, 1);
        return car(args[0]);
    });
    define(L"cdr", [](Interpreter&, const std::vector<ValuePtr>& args) {
        expectArgs(args, 1, 1);
        return cdr(args[0]);
    });
    define(L"nth", [](Interpreter&, const std::vector<ValuePtr>& args) {
        expectArgs(args, 2, 2);
        if (args[0]->kind != Kind::Int || args[0]->integer < 0)
            throw LispError("bad argument type: fixnump " + prin1Text(args[0]));
        const ValuePtr& items = listArg(args[1]);
        auto index = static_cast<std::size_t>(args[0]->integer);
        if (isNil(items) || index >= items->items.size())
            return nil();
        return items->items[index];
    });
    define(L"assoc", [](Interpreter&, const std::vector<ValuePtr>& args) {
        expectArgs(args, 2, 2);
        const ValuePtr& pairs = listArg(args[1]);
        if (isList(pairs))
            for (const ValuePtr& entry : pairs->items)
                if (isList(entry) && equal(entry->items.front(), args[0]))
                    return entry;
        return nil();
    });
    auto notFunction = [](Interpreter&, const std::vector<ValuePtr>& args) {
        expectArgs(args, 1, 1);
        return isNil(args[0]) ? t() : nil();
    };
    define(L"not", notFunction);
    define(L"null", notFunction);

    define(L"load", [](Interpreter& in, const std::vector<ValuePtr>& args) {
        expectArgs(args, 1, 1);
        std::string path;
        if (!pathBytes(stringArg(args[0]), path))
            throw LispError("LOAD failed: " + prin1Text(args[0]));
        return in.load(path);
    });
}

} // namespace minihost::lisp
