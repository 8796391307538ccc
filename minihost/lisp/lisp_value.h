// Values of the stand-in host's LISP: immutable, shared, and never nested deeper than
// kMaxDepth, so that reading, printing, comparing and destroying them cannot run out of stack.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace minihost::lisp {

// Deepest nesting of lists (and of evaluation) the interpreter accepts.
constexpr int kMaxDepth = 200;
// Deepest nesting of evaluation: forms within forms and calls of user functions within calls
// (a recursive function takes two or three levels a call). Well within the stack, also under
// the sanitizers.
constexpr int kMaxEvalDepth = 500;

// A LISP error: the message of its "; error:" line.
class LispError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Value;
using ValuePtr = std::shared_ptr<const Value>;
struct UserFunction; // lisp_functions.h
class FileStream;    // lisp_files.h

// Subr: a builtin as a value (`text` its name); Usubr: a user function; File: a file that
// open gave; Error: what vl-catch-all-apply gives for an error (`text` its message).
enum class Kind { Nil, T, Int, Real, Str, Sym, List, Subr, Usubr, File, Error };

struct Value {
    Kind kind = Kind::Nil;
    std::int32_t integer = 0;
    double real = 0;
    std::wstring text;           // a string's text, or a symbol's name (upper case)
    std::vector<ValuePtr> items; // a list's elements, never empty
    ValuePtr tail;               // a dotted list's final cdr; null for a proper list
    int depth = 0;               // 0 for an atom, 1 + the deepest element for a list
    std::shared_ptr<const UserFunction> function; // a Usubr's parameters and body
    std::shared_ptr<FileStream> file;             // a File's stream, shared by its copies
};

ValuePtr nil();
ValuePtr t();
ValuePtr integer(std::int32_t n);
ValuePtr real(double r);
ValuePtr string(std::wstring text);
// A symbol; its name is folded to upper case (letters a to z), as the host's reader does.
ValuePtr symbol(const std::wstring& name);
// The list of `items` ending in `tail` (nil: a proper list). A list tail is spliced in; no
// items and a nil tail give nil. Throws LispError when the result would be nested too deeply.
ValuePtr list(std::vector<ValuePtr> items, ValuePtr tail = nullptr);

// A value of `kind` with `text` (for Subr and Error values).
ValuePtr special(Kind kind, std::wstring text);

inline bool isNil(const ValuePtr& v) {
    return v->kind == Kind::Nil;
}
inline bool isList(const ValuePtr& v) {
    return v->kind == Kind::List;
}
bool isSymbol(const ValuePtr& v, const wchar_t* name);

// Structural equality: same kinds, numbers of equal value, equal texts, equal elements.
bool equal(const ValuePtr& a, const ValuePtr& b);

// The first element and the rest of a list (nil for nil); LispError for any other value.
ValuePtr car(const ValuePtr& v);
ValuePtr cdr(const ValuePtr& v);

} // namespace minihost::lisp
