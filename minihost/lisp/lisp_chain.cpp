#include "minihost/lisp/lisp_chain.h"

#include <iterator>

#include "minihost/lisp/lisp_printer.h"

namespace minihost::lisp {
namespace {

// The nodes and the text (string lengths with their ends) that the chain of `v` takes.
void measure(const ValuePtr& v, std::size_t& nodes, std::size_t& text) {
    ++nodes;
    if (v->kind == Kind::Str)
        text += v->text.size() + 1;
    if (v->kind != Kind::List)
        return;
    for (const ValuePtr& item : v->items)
        measure(item, nodes, text);
    if (v->tail)
        measure(v->tail, nodes, text);
    ++nodes; // the list's end
}

} // namespace

ArgChain::ArgChain(const std::vector<ValuePtr>& args) {
    std::size_t nodes = 0, text = 0;
    for (const ValuePtr& arg : args)
        measure(arg, nodes, text);
    mNodes.reserve(nodes);
    mTexts.reserve(text);
    for (const ValuePtr& arg : args)
        addValue(arg);
}

resbuf& ArgChain::add(short type) {
    resbuf node{};
    node.restype = type;
    mNodes.push_back(node); // within the reserve: no node moves
    resbuf& added = mNodes.back();
    if (mNodes.size() > 1)
        mNodes[mNodes.size() - 2].rbnext = &added;
    return added;
}

void ArgChain::addValue(const ValuePtr& v) {
    switch (v->kind) {
    case Kind::Nil:
        add(RTNIL);
        break;
    case Kind::T:
        add(RTT);
        break;
    case Kind::Int:
        if (v->integer >= -32768 && v->integer <= 32767)
            add(RTSHORT).resval.rint = static_cast<short>(v->integer);
        else
            add(RTLONG).resval.rlong = v->integer;
        break;
    case Kind::Real:
        add(RTREAL).resval.rreal = v->real;
        break;
    case Kind::Str: {
        const std::size_t at = mTexts.size();
        mTexts.append(v->text.c_str(), v->text.size() + 1); // within the reserve: no text moves
        add(RTSTR).resval.rstring = &mTexts[at];
        break;
    }
    case Kind::Sym:
    case Kind::Subr:
    case Kind::Usubr:
    case Kind::File:
    case Kind::Error:
        throw LispError("bad argument type for an external function: " + prin1Text(v));
    case Kind::List:
        add(RTLB);
        for (const ValuePtr& item : v->items)
            addValue(item);
        if (v->tail) {
            addValue(v->tail);
            add(RTDOTE);
        } else {
            add(RTLE);
        }
        break;
    }
}

namespace {

struct ChainReader {
    explicit ChainReader(const resbuf* chain) : at(chain) { pending.reserve(32); }

    [[noreturn]] static void malformed(const std::string& why) {
        throw LispError("malformed result of an external function: " + why);
    }

    // One item at `at`, which is not a list end.
    ValuePtr item(int depth) {
        const resbuf* node = at;
        at = at->rbnext;
        switch (node->restype) {
        case RTSTR:
            return string(node->resval.rstring ? node->resval.rstring : L"");
        case RTSHORT:
            return integer(node->resval.rint);
        case RTLONG:
            return integer(node->resval.rlong);
        case RTREAL:
            return real(node->resval.rreal);
        case RTT:
            return t();
        case RTNIL:
            return nil();
        case RTLB:
            return rest(depth + 1);
        default:
            malformed("unknown type code " + std::to_string(node->restype));
        }
    }

    // The items of a list whose list-begin node has been read, up to its end node.
    ValuePtr rest(int depth) {
        if (depth > kMaxDepth)
            malformed("lists nested too deeply");
        const std::size_t mark = pending.size();
        for (;;) {
            if (!at)
                malformed("a list is not closed");
            if (at->restype == RTLE) {
                at = at->rbnext;
                return list(take(mark));
            }
            if (at->restype == RTDOTE) {
                at = at->rbnext;
                if (pending.size() - mark < 2)
                    malformed("a dotted pair without two items");
                ValuePtr tail = std::move(pending.back());
                pending.pop_back();
                return list(take(mark), tail);
            }
            ValuePtr next = item(depth);
            pending.push_back(std::move(next));
        }
    }

    // The items pending from `mark` on, taken out into a vector of their own number.
    std::vector<ValuePtr> take(std::size_t mark) {
        std::vector<ValuePtr> items(std::make_move_iterator(pending.begin() + mark),
                                    std::make_move_iterator(pending.end()));
        pending.erase(pending.begin() + mark, pending.end());
        return items;
    }

    const resbuf* at;
    // The items read of the lists not yet closed, innermost last: a list's vector is made
    // once, at its size, instead of growing item by item.
    std::vector<ValuePtr> pending;
};

} // namespace

ValuePtr valueOfChain(const resbuf* chain) {
    ChainReader reader(chain);
    bool wholeList = chain && chain->restype == RTLB;
    while (reader.at) {
        if (reader.at->restype == RTLE || reader.at->restype == RTDOTE)
            ChainReader::malformed("a list end without its beginning");
        ValuePtr next = reader.item(0);
        reader.pending.push_back(std::move(next));
    }
    if (wholeList && reader.pending.size() == 1)
        return reader.pending.front();
    return list(reader.take(0));
}

bool ResultValue::receive(const resbuf* chain) noexcept {
    try {
        ValuePtr made = valueOfChain(chain);
        mValue = std::move(made);
        mError = nullptr;
    } catch (const LispError&) {
        mValue = nullptr;
        mError = std::current_exception();
    } catch (...) {
        return false; // out of memory: what was received before stays
    }
    return true;
}

ValuePtr ResultValue::value() const {
    if (mError)
        std::rethrow_exception(mError);
    return mValue;
}

} // namespace minihost::lisp
