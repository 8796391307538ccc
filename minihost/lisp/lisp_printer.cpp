#include "minihost/lisp/lisp_printer.h"

#include <cmath>
#include <cstdio>

#include "minihost/lisp/builtins/lisp_files.h"
#include "minihost/lisp/lisp_functions.h"
#include "minihost/runtime/text/utf8.h"

namespace minihost::lisp {
namespace {

void appendQuoted(std::string& out, const std::wstring& text) {
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = minihost::nextCodePoint(text.data(), text.size(), i);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case 0x1B:
            out += "\\e";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char octal[8];
                std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned>(c));
                out += octal;
            } else {
                // A unit that is no Unicode scalar value prints as U+FFFD.
                minihost::appendUtf8(out, minihost::isScalarValue(c) ? c : 0xFFFD);
            }
        }
    }
    out += '"';
}

void append(std::string& out, const ValuePtr& v, bool quoteStrings) {
    switch (v->kind) {
    case Kind::Nil:
        out += "nil";
        break;
    case Kind::T:
        out += 'T';
        break;
    case Kind::Int:
        out += std::to_string(v->integer);
        break;
    case Kind::Real:
        out += realText(v->real);
        break;
    case Kind::Str:
        if (quoteStrings)
            appendQuoted(out, v->text);
        else
            out += utf8(v->text);
        break;
    case Kind::Sym:
        out += utf8(v->text);
        break;
    case Kind::Subr:
        out += "#<SUBR @" + utf8(v->text) + ">";
        break;
    case Kind::Usubr:
        out += "#<USUBR @" + utf8(v->function->name) + ">";
        break;
    case Kind::File:
        out += "#<FILE " + std::string(v->file->isOpen() ? "" : "closed ");
        appendQuoted(out, v->file->path());
        out += '>';
        break;
    case Kind::Error:
        out += "#<%catch-all-apply-error%>";
        break;
    case Kind::List:
        out += '(';
        for (std::size_t i = 0; i < v->items.size(); ++i) {
            if (i)
                out += ' ';
            append(out, v->items[i], quoteStrings);
        }
        if (v->tail) {
            out += " . ";
            append(out, v->tail, quoteStrings);
        }
        out += ')';
        break;
    }
}

} // namespace

std::string prin1Text(const ValuePtr& v) {
    std::string out;
    append(out, v, true);
    return out;
}

std::string princText(const ValuePtr& v) {
    std::string out;
    append(out, v, false);
    return out;
}

std::string realText(double r) {
    if (std::isnan(r))
        return "1.#IND";
    if (std::isinf(r))
        return r < 0 ? "-1.#INF" : "1.#INF";
    char text[40];
    std::snprintf(text, sizeof text, "%.6g", r);
    std::string s = text;
    // The host always shows a decimal point: 1.0 and 1.0e+20, not 1 and 1e+20.
    std::size_t exponent = s.find('e');
    std::string mantissa = s.substr(0, exponent);
    if (mantissa.find('.') == std::string::npos)
        mantissa += ".0";
    return exponent == std::string::npos ? mantissa : mantissa + s.substr(exponent);
}

std::string utf8(const std::wstring& text) {
    return encodeUtf8(text);
}

std::wstring fromUtf8(const std::string& bytes) {
    return decodeUtf8(bytes);
}

} // namespace minihost::lisp
