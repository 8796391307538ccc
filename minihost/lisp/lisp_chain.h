// LISP values to and from resbuf chains, at the boundary to external functions.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "host/lisp_values.h"
#include "minihost/lisp/lisp_value.h"

namespace minihost::lisp {

// The argument chain of an external call, as the host passes arguments: strings 5005, T 5021,
// nil 5019, integers 5003 (when they fit 16 bits) or 5010, reals 5001, lists 5016 ... 5017
// with nested lists nested, and dotted lists ended by 5018 instead of 5017. The chain and its
// texts belong to this object. A symbol cannot be passed: LispError.
class ArgChain {
  public:
    explicit ArgChain(const std::vector<ValuePtr>& args);
    ArgChain(const ArgChain&) = delete;
    ArgChain& operator=(const ArgChain&) = delete;

    // The first node, or nullptr when there are no arguments.
    const resbuf* head() const { return mNodes.empty() ? nullptr : &mNodes.front(); }

  private:
    resbuf& add(short type);
    void addValue(const ValuePtr& v);

    std::deque<resbuf> mNodes; // a deque: nodes stay where they are while it grows
    std::deque<std::wstring> mTexts;
};

// The LISP value of a result chain (borrowed): a chain that is one whole list is that list;
// otherwise its items, in order, make a list. Throws LispError for a chain that is not well
// formed or holds a type code the interpreter does not know.
ValuePtr valueOfChain(const resbuf* chain);

} // namespace minihost::lisp
