// The evaluator of the stand-in host's LISP: global variables, the builtins, and calls of the
// external functions that loaded modules define.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "minihost/lisp/lisp_value.h"

namespace minihost::lisp {

class Interpreter {
  public:
    // What the program prints goes to `out`; error lines and messages to `err`.
    Interpreter(std::ostream& out, std::ostream& err);
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // Evaluates one form. Errors throw LispError (std::bad_alloc when out of memory).
    ValuePtr eval(const ValuePtr& form);
    // Reads and evaluates each top-level form of `text` in turn; the value of the last, nil
    // when there is none. Text that ends inside a form is malformed here.
    ValuePtr evalText(const std::wstring& text);
    // Evaluates the forms of the file at `path` (tried as given, then with ".lsp" added when
    // the name has no extension). A file that is missing, a folder, or longer than
    // kMaxLoadBytes is a LispError.
    ValuePtr load(const std::string& path);
    static constexpr std::size_t kMaxLoadBytes = 16u << 20;

    // Prints `v` as prin1 does, on a line of its own; the quiet value of (princ) prints
    // nothing.
    void printResult(const ValuePtr& v);
    // The line "; error: <message>" on the error stream, on a fresh line of output.
    void reportError(const std::string& message);
    // A message that is not an error: "; <message>" on the error stream.
    void warn(const std::string& message);
    // Writes program output, keeping track of whether a line is open.
    void write(const std::string& utf8Text);

    ValuePtr variable(const std::wstring& name) const;
    void setVariable(const std::wstring& name, ValuePtr value);

    // A builtin taking evaluated arguments, or a special form taking its arguments as
    // written. `name` in lower case.
    using Function = std::function<ValuePtr(Interpreter&, const std::vector<ValuePtr>&)>;
    void define(const std::wstring& name, Function function, bool special = false);

  private:
    struct Builtin {
        Function function;
        bool special;
    };
    ValuePtr call(const ValuePtr& form);
    ValuePtr callExternal(const std::wstring& name, const std::vector<ValuePtr>& args);
    // The language's own functions: the special forms, the functions of lists and text, and
    // those that print and load.
    void defineCore();
    void defineSpecialForms();
    void defineListFunctions();
    void definePrintAndLoad();

    std::ostream& mOut;
    std::ostream& mErr;
    bool mLineOpen = false;
    int mDepth = 0;
    std::map<std::wstring, Builtin> mBuiltins;
    std::map<std::wstring, ValuePtr> mVariables;
};

// Ctrl-C: interrupt() (safe to call from a signal handler) asks the evaluation under way to
// stop; the interpreter then throws LispError "cancelled" at its next step, or when a file it
// reads is interrupted. clearInterrupt() forgets a request that came while nothing ran.
void interrupt();
void clearInterrupt();

// Checks the number of arguments of builtin calls: LispError "too few/many arguments".
void expectArgs(const std::vector<ValuePtr>& args, std::size_t least, std::size_t most);
// The argument as a string; LispError "bad argument type: stringp ..." otherwise.
const std::wstring& stringArg(const ValuePtr& v);

// The drawing-control builtins: drawing-new, drawing-open, drawing-close, drawing-save,
// drawing-current and drawings.
void defineDrawingBuiltins(Interpreter& interpreter);

} // namespace minihost::lisp
