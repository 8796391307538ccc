// The reader of the stand-in host's LISP: source text to values, one top-level form at a time.
#pragma once

#include <cstddef>
#include <string>

#include "minihost/lisp/lisp_value.h"

namespace minihost::lisp {

// Reads forms from wide text: integers (32 bits; larger ones become reals), reals, strings
// with the escapes \" \\ \n \t \r \e and \ooo, symbols, T, nil, lists and dotted pairs,
// 'x for (quote x), ; line comments and ;| block |; comments.
class Reader {
  public:
    enum class Status {
        Form,       // `form` holds the next form
        End,        // nothing but blanks and comments remain
        Incomplete, // the text ends inside a form: more text may complete it
    };
    struct Result {
        Status status;
        ValuePtr form;
    };

    explicit Reader(std::wstring text) : mText(std::move(text)) {}

    // The next form. Malformed text (an unmatched ')', a misplaced '.', too deep a nesting)
    // throws LispError; the reader then stands after the offending character.
    Result next();
    // Where the form last returned (or the incomplete one) starts, and where reading stands.
    std::size_t formStart() const { return mFormStart; }
    std::size_t position() const { return mAt; }

  private:
    struct Incomplete {};
    bool skipBlanks(); // false: the text ends inside a block comment
    ValuePtr readForm(int depth);
    ValuePtr readList(int depth);
    ValuePtr readString();
    ValuePtr readAtom();

    std::wstring mText;
    std::size_t mAt = 0;
    std::size_t mFormStart = 0;
};

} // namespace minihost::lisp
