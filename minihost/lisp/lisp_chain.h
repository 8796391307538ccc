// LISP values to and from resbuf chains, at the boundary to external functions.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "host/lisp_values.h"
#include "minihost/frame/external_calls.h"
#include "minihost/lisp/lisp_value.h"

namespace minihost::lisp {

// The argument chain of an external call, as the host passes arguments: strings 5005, T 5021,
// nil 5019, integers 5003 (when they fit 16 bits) or 5010, reals 5001, lists 5016 ... 5017
// with nested lists nested, and dotted lists ended by 5018 instead of 5017. The chain and its
// texts belong to this object, made at their sizes at once. A symbol cannot be passed:
// LispError.
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

    std::vector<resbuf> mNodes; // reserved whole first: nodes stay where they are
    std::wstring mTexts;        // every string argument, each ended by its own L'\0'
};

// The LISP value of a result chain (borrowed): a chain that is one whole list is that list;
// otherwise its items, in order, make a list. Throws LispError for a chain that is not well
// formed or holds a type code the interpreter does not know.
ValuePtr valueOfChain(const resbuf* chain);

// The value of an external call's result, made from the module's chain when the handler sets
// it (see ResultReceiver), so that no copy of the chain is made first.
class ResultValue final : public ResultReceiver {
  public:
    bool receive(const resbuf* chain) noexcept override;
    // The value of the last chain received: the LispError of valueOfChain for a chain that
    // is not well formed.
    ValuePtr value() const;

  private:
    ValuePtr mValue;
    std::exception_ptr mError; // why the last chain received has no value
};

} // namespace minihost::lisp
