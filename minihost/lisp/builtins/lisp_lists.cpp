// Lists: building, searching, taking apart (car and cdr up to four levels deep), sorting, and
// the predicates and type of values.
#include "minihost/lisp/builtins/lisp_builtins.h"
#include "minihost/lisp/lisp_printer.h"

namespace minihost::lisp {
namespace {

// The list of `items` from `from` on, ending as `whole` ends.
ValuePtr rest(const ValuePtr& whole, std::size_t from) {
    return list(std::vector<ValuePtr>(whole->items.begin() + from, whole->items.end()),
                whole->tail);
}

ValuePtr cons(Interpreter&, const Args& args) {
    expectArgs(args, 2, 2);
    return list({args[0]}, args[1]);
}

ValuePtr append(Interpreter&, const Args& args) {
    std::vector<ValuePtr> items;
    for (const ValuePtr& arg : args) {
        std::vector<ValuePtr> more = elements(arg);
        items.insert(items.end(), more.begin(), more.end());
    }
    return list(std::move(items));
}

ValuePtr member(Interpreter&, const Args& args) {
    expectArgs(args, 2, 2);
    const std::vector<ValuePtr> items = elements(args[1]);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (equal(items[i], args[0]))
            return rest(args[1], i);
    return nil();
}

ValuePtr subst(Interpreter&, const Args& args) {
    expectArgs(args, 3, 3);
    std::vector<ValuePtr> items = elements(args[2]);
    for (ValuePtr& item : items)
        if (equal(item, args[1]))
            item = args[0];
    return list(std::move(items));
}

ValuePtr vlRemove(Interpreter&, const Args& args) {
    expectArgs(args, 2, 2);
    std::vector<ValuePtr> kept;
    for (const ValuePtr& item : elements(args[1]))
        if (!equal(item, args[0]))
            kept.push_back(item);
    return list(std::move(kept));
}

ValuePtr vlPosition(Interpreter&, const Args& args) {
    expectArgs(args, 2, 2);
    const std::vector<ValuePtr> items = elements(args[1]);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (equal(items[i], args[0]))
            return integer(static_cast<std::int32_t>(i));
    return nil();
}

// A stable merge sort that asks the user's function only whether b goes before a, so that a
// function that is no proper order still ends in some order, never out of bounds.
ValuePtr vlSort(Interpreter& in, const Args& args) {
    expectArgs(args, 2, 2);
    std::vector<ValuePtr> items = elements(args[0]);
    std::vector<ValuePtr> merged(items.size());
    for (std::size_t width = 1; width < items.size(); width *= 2) {
        for (std::size_t lo = 0; lo < items.size(); lo += 2 * width) {
            std::size_t mid = std::min(lo + width, items.size());
            std::size_t hi = std::min(lo + 2 * width, items.size());
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                merged[k++] =
                    !isNil(in.apply(args[1], {items[j], items[i]})) ? items[j++] : items[i++];
            while (i < mid)
                merged[k++] = items[i++];
            while (j < hi)
                merged[k++] = items[j++];
        }
        items.swap(merged);
    }
    return list(std::move(items));
}

ValuePtr typeOf(const ValuePtr& v) {
    static const wchar_t* const kNames[] = {L"",
                                            L"SYM",
                                            L"INT",
                                            L"REAL",
                                            L"STR",
                                            L"SYM",
                                            L"LIST",
                                            L"SUBR",
                                            L"USUBR",
                                            L"FILE",
                                            L"VL-CATCH-ALL-APPLY-ERROR"};
    return isNil(v) ? nil() : symbol(kNames[static_cast<int>(v->kind)]);
}

// car and cdr taken in the order the name spells them from its end: cadr is (car (cdr x)).
void defineCarCdr(Interpreter& in) {
    for (int levels = 1; levels <= 4; ++levels) {
        for (int bits = 0; bits < (1 << levels); ++bits) {
            std::wstring name = L"c";
            for (int i = levels - 1; i >= 0; --i)
                name += (bits >> i) & 1 ? L'd' : L'a';
            name += L'r';
            in.define(name, [name](Interpreter&, const Args& args) {
                expectArgs(args, 1, 1);
                ValuePtr v = args[0];
                for (std::size_t i = name.size() - 2; i >= 1; --i)
                    v = name[i] == L'a' ? car(v) : cdr(v);
                return v;
            });
        }
    }
}

} // namespace

void defineListBuiltins(Interpreter& in) {
    defineCarCdr(in);
    in.define(L"length", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return integer(static_cast<std::int32_t>(elements(args[0]).size()));
    });
    in.define(L"cons", cons);
    in.define(L"append", append);
    in.define(L"reverse", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        std::vector<ValuePtr> items = elements(args[0]);
        return list(std::vector<ValuePtr>(items.rbegin(), items.rend()));
    });
    in.define(L"last", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        std::vector<ValuePtr> items = elements(args[0]);
        return items.empty() ? nil() : items.back();
    });
    in.define(L"member", member);
    in.define(L"subst", subst);
    in.define(L"vl-remove", vlRemove);
    in.define(L"vl-position", vlPosition);
    in.define(L"vl-sort", vlSort);
    in.define(L"listp", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return truth(isNil(args[0]) || isList(args[0]));
    });
    in.define(L"atom", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return truth(!isList(args[0]));
    });
    in.define(L"type", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return typeOf(args[0]);
    });
}

} // namespace minihost::lisp
