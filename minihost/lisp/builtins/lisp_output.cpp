// Printing: princ, prin1, print, terpri and write-line, to the program's output or to a file
// that open gave.
#include "minihost/lisp/builtins/lisp_builtins.h"
#include "minihost/lisp/builtins/lisp_files.h"
#include "minihost/lisp/lisp_printer.h"

namespace minihost::lisp {
namespace {

// Writes `text` to the file argument at `fileAt` when there is one, else to the output.
void emit(Interpreter& in, const Args& args, std::size_t fileAt, const std::string& text) {
    if (args.size() <= fileAt || isNil(args[fileAt])) {
        in.write(text);
        return;
    }
    FileStream& stream = streamArg(args[fileAt], FileStream::Mode::Write);
    if (!stream.write(text))
        throw LispError("cannot write to " + prin1Text(string(stream.path())));
}

Interpreter::Function printer(std::string (*render)(const ValuePtr&)) {
    return [render](Interpreter& in, const Args& args) {
        expectArgs(args, 0, 2);
        if (args.empty())
            return quietValue();
        emit(in, args, 1, render(args[0]));
        return args[0];
    };
}

} // namespace

void defineOutputBuiltins(Interpreter& in) {
    in.define(L"princ", printer(princText));
    in.define(L"prin1", printer(prin1Text));
    in.define(L"print", printer([](const ValuePtr& v) { return "\n" + prin1Text(v) + " "; }));
    in.define(L"terpri", [](Interpreter& in, const Args& args) {
        expectArgs(args, 0, 1);
        emit(in, args, 0, "\n");
        return nil();
    });
    in.define(L"write-line", [](Interpreter& in, const Args& args) {
        expectArgs(args, 1, 2);
        emit(in, args, 1, utf8(stringArg(args[0])) + "\n");
        return args[0];
    });
}

} // namespace minihost::lisp
