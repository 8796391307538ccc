// User functions of the stand-in's LISP: what defun and lambda make, and the dynamic binding
// of their parameters and locals.
#pragma once

#include <string>
#include <vector>

#include "minihost/lisp/lisp_interpreter.h"

namespace minihost::lisp {

struct UserFunction {
    std::wstring name;                // the defun's symbol, or "-lambda-"
    std::vector<std::wstring> params; // upper-case symbol names
    std::vector<std::wstring> locals; // the names after "/"
    std::vector<ValuePtr> body;
};

// A Usubr from a parameter list and body forms as written: `(defun name (a b / c) body...)`
// passes `(a b / c)` and the body. LispError for a parameter that is no symbol.
ValuePtr makeFunction(const std::wstring& name, const ValuePtr& params,
                      const std::vector<ValuePtr>& body);

// Binds symbols for the length of a call, the host's dynamic scope: each bound symbol gets
// its previous value (or none) back when the binding ends, also after an error.
class Bindings {
  public:
    explicit Bindings(Interpreter& in) : mIn(in) {}
    ~Bindings();
    Bindings(const Bindings&) = delete;
    Bindings& operator=(const Bindings&) = delete;
    void bind(const std::wstring& name, ValuePtr value);

  private:
    Interpreter& mIn;
    std::vector<std::pair<std::wstring, ValuePtr>> mSaved; // null: the symbol had no value
};

} // namespace minihost::lisp
