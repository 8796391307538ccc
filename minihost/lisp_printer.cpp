#include "lisp_printer.h"

#include <cmath>
#include <cstdio>

namespace minihost::lisp {
namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendQuoted(std::string& out, const std::wstring& text) {
    out += '"';
    for (wchar_t wc : text) {
        auto c = static_cast<char32_t>(wc);
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
                appendUtf8(out, c);
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
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text)
        appendUtf8(out, static_cast<char32_t>(wc));
    return out;
}

std::wstring fromUtf8(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        unsigned char b = s[i];
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        char32_t c = extra == 0   ? b
                     : extra == 1 ? (b & 0x1F)
                     : extra == 2 ? (b & 0x0F)
                                  : (b & 0x07);
        bool ok = extra >= 0 && i + extra < n;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (s[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not text either.
        static const char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out += L'\xFFFD';
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += 1 + extra;
    }
    return out;
}

} // namespace minihost::lisp
