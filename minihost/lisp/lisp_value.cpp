#include "minihost/lisp/lisp_value.h"

#include "minihost/lisp/lisp_printer.h"

namespace minihost::lisp {

ValuePtr nil() {
    static const ValuePtr value = std::make_shared<const Value>();
    return value;
}

ValuePtr t() {
    static const ValuePtr value = [] {
        auto v = std::make_shared<Value>();
        v->kind = Kind::T;
        return ValuePtr(v);
    }();
    return value;
}

ValuePtr integer(std::int32_t n) {
    auto v = std::make_shared<Value>();
    v->kind = Kind::Int;
    v->integer = n;
    return v;
}

ValuePtr real(double r) {
    auto v = std::make_shared<Value>();
    v->kind = Kind::Real;
    v->real = r;
    return v;
}

ValuePtr string(std::wstring text) {
    auto v = std::make_shared<Value>();
    v->kind = Kind::Str;
    v->text = std::move(text);
    return v;
}

ValuePtr special(Kind kind, std::wstring text) {
    auto v = std::make_shared<Value>();
    v->kind = kind;
    v->text = std::move(text);
    return v;
}

ValuePtr symbol(const std::wstring& name) {
    auto v = std::make_shared<Value>();
    v->kind = Kind::Sym;
    v->text = name;
    for (wchar_t& c : v->text)
        if (c >= L'a' && c <= L'z')
            c = c - L'a' + L'A';
    return v;
}

ValuePtr list(std::vector<ValuePtr> items, ValuePtr tail) {
    if (tail && isList(tail)) {
        items.insert(items.end(), tail->items.begin(), tail->items.end());
        tail = tail->tail;
    }
    if (tail && isNil(tail))
        tail = nullptr;
    if (items.empty())
        return tail ? tail : nil();
    int deepest = tail ? tail->depth : 0;
    for (const ValuePtr& item : items)
        deepest = std::max(deepest, item->depth);
    if (deepest + 1 > kMaxDepth)
        throw LispError("lists nested too deeply (more than " + std::to_string(kMaxDepth) +
                        " levels)");
    auto v = std::make_shared<Value>();
    v->kind = Kind::List;
    v->items = std::move(items);
    v->tail = std::move(tail);
    v->depth = deepest + 1;
    return v;
}

bool isSymbol(const ValuePtr& v, const wchar_t* name) {
    return v->kind == Kind::Sym && v->text == name;
}

bool equal(const ValuePtr& a, const ValuePtr& b) {
    if (a == b)
        return true;
    bool aNumber = a->kind == Kind::Int || a->kind == Kind::Real;
    bool bNumber = b->kind == Kind::Int || b->kind == Kind::Real;
    if (aNumber && bNumber) {
        double x = a->kind == Kind::Int ? a->integer : a->real;
        double y = b->kind == Kind::Int ? b->integer : b->real;
        return x == y;
    }
    if (a->kind != b->kind)
        return false;
    switch (a->kind) {
    case Kind::Nil:
    case Kind::T:
        return true;
    case Kind::Str:
    case Kind::Sym:
    case Kind::Subr:
        return a->text == b->text;
    case Kind::List:
        if (a->items.size() != b->items.size() || !a->tail != !b->tail)
            return false;
        for (std::size_t i = 0; i < a->items.size(); ++i)
            if (!equal(a->items[i], b->items[i]))
                return false;
        return !a->tail || equal(a->tail, b->tail);
    default:
        return false;
    }
}

ValuePtr car(const ValuePtr& v) {
    if (isNil(v))
        return nil();
    if (!isList(v))
        throw LispError("bad argument type: consp " + prin1Text(v));
    return v->items.front();
}

ValuePtr cdr(const ValuePtr& v) {
    if (isNil(v))
        return nil();
    if (!isList(v))
        throw LispError("bad argument type: consp " + prin1Text(v));
    if (v->items.size() == 1)
        return v->tail ? v->tail : nil();
    return list(std::vector<ValuePtr>(v->items.begin() + 1, v->items.end()), v->tail);
}

} // namespace minihost::lisp
