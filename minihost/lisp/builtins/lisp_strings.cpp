// Strings: lengths, positions and pieces counted in UTF-16 units as the host counts them,
// case, searching, replacing, trimming, character codes, and values to and from text.
#include "minihost/lisp/builtins/lisp_builtins.h"
#include "minihost/lisp/lisp_printer.h"
#include "minihost/lisp/lisp_reader.h"
#include "minihost/lisp/builtins/lisp_text16.h"

namespace minihost::lisp {
namespace {

std::u16string text16(const ValuePtr& v) {
    return toUtf16(stringArg(v));
}

ValuePtr string16(const std::u16string& text) {
    return string(fromUtf16(text));
}

// A position argument: an integer of at least `least`.
std::size_t positionArg(const ValuePtr& v, std::int32_t least) {
    std::int32_t n = intArg(v);
    if (n < least)
        throw LispError("bad argument value: " + prin1Text(v));
    return static_cast<std::size_t>(n);
}

ValuePtr substr(Interpreter&, const Args& args) {
    expectArgs(args, 2, 3);
    std::u16string text = text16(args[0]);
    std::size_t start = positionArg(args[1], 1) - 1;
    std::size_t length =
        args.size() == 3 && !isNil(args[2]) ? positionArg(args[2], 0) : std::u16string::npos;
    return string16(start >= text.size() ? u"" : text.substr(start, length));
}

ValuePtr strcase(Interpreter&, const Args& args) {
    expectArgs(args, 1, 2);
    return string(changeCase(stringArg(args[0]), args.size() == 2 && !isNil(args[1])));
}

ValuePtr search(Interpreter&, const Args& args) {
    expectArgs(args, 2, 3);
    std::u16string pattern = text16(args[0]), text = text16(args[1]);
    std::size_t start = args.size() == 3 && !isNil(args[2]) ? positionArg(args[2], 0) : 0;
    std::size_t at = start > text.size() ? std::u16string::npos : text.find(pattern, start);
    return at == std::u16string::npos ? nil() : integer(static_cast<std::int32_t>(at));
}

// (vl-string-subst new pattern string [start]): the first occurrence only, as in the host.
ValuePtr replaceFirst(Interpreter&, const Args& args) {
    expectArgs(args, 3, 4);
    std::u16string with = text16(args[0]), pattern = text16(args[1]), text = text16(args[2]);
    std::size_t start = args.size() == 4 && !isNil(args[3]) ? positionArg(args[3], 0) : 0;
    std::size_t at = start > text.size() ? std::u16string::npos : text.find(pattern, start);
    if (at != std::u16string::npos)
        text.replace(at, pattern.size(), with);
    return string16(text);
}

Interpreter::Function trim(bool left, bool right) {
    return [left, right](Interpreter&, const Args& args) {
        expectArgs(args, 2, 2);
        std::u16string chars = text16(args[0]), text = text16(args[1]);
        std::size_t from = left ? text.find_first_not_of(chars) : 0;
        if (from == std::u16string::npos)
            return string(L"");
        std::size_t to = right ? text.find_last_not_of(chars) + 1 : text.size();
        return string16(text.substr(from, to - from));
    };
}

ValuePtr chr(Interpreter&, const Args& args) {
    expectArgs(args, 1, 1);
    std::int32_t code = intArg(args[0]);
    if (code < 0 || code > 0x10FFFF)
        throw LispError("bad argument value: " + prin1Text(args[0]));
    return string(code == 0 ? std::wstring() : std::wstring(1, static_cast<wchar_t>(code)));
}

ValuePtr read(Interpreter&, const Args& args) {
    expectArgs(args, 1, 1);
    Reader reader(stringArg(args[0]));
    Reader::Result result = reader.next();
    if (result.status == Reader::Status::Incomplete)
        throw LispError("malformed list on input");
    return result.status == Reader::Status::Form ? result.form : nil();
}

} // namespace

void defineStringBuiltins(Interpreter& in) {
    // Joined as UTF-16: halves of a character that substr split come together again.
    in.define(L"strcat", [](Interpreter&, const Args& args) {
        std::u16string text;
        for (const ValuePtr& arg : args)
            text += text16(arg);
        return string16(text);
    });
    in.define(L"strlen", [](Interpreter&, const Args& args) {
        std::size_t length = 0;
        for (const ValuePtr& arg : args)
            length += text16(arg).size();
        return integer(static_cast<std::int32_t>(length));
    });
    in.define(L"substr", substr);
    in.define(L"strcase", strcase);
    in.define(L"vl-string-search", search);
    in.define(L"vl-string-subst", replaceFirst);
    in.define(L"vl-string-trim", trim(true, true));
    in.define(L"vl-string-left-trim", trim(true, false));
    in.define(L"vl-string-right-trim", trim(false, true));
    in.define(L"vl-princ-to-string", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return string(fromUtf8(princText(args[0])));
    });
    in.define(L"vl-prin1-to-string", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        return string(fromUtf8(prin1Text(args[0])));
    });
    in.define(L"read", read);
    in.define(L"ascii", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        std::u16string text = text16(args[0]);
        return integer(text.empty() ? 0 : text[0]);
    });
    in.define(L"chr", chr);
}

} // namespace minihost::lisp
