#include "minihost/lisp/builtins/lisp_text16.h"

#include <cwctype>
#include <locale.h>

#include "minihost/runtime/text/utf8.h"

namespace minihost::lisp {

std::u16string toUtf16(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = minihost::nextCodePoint(text.data(), text.size(), i);
        minihost::appendCodePoint(out, c > 0x10FFFF ? 0xFFFD : c);
    }
    return out;
}

std::wstring fromUtf16(const std::u16string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
        minihost::appendCodePoint(out, minihost::nextCodePoint(text.data(), text.size(), i));
    return out;
}

std::wstring changeCase(std::wstring text, bool lower) {
    static const locale_t kUnicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    for (wchar_t& c : text) {
        const auto unit = static_cast<wint_t>(c);
        if (kUnicode)
            c = static_cast<wchar_t>(lower ? towlower_l(unit, kUnicode)
                                           : towupper_l(unit, kUnicode));
        else if (lower ? (c >= L'A' && c <= L'Z') : (c >= L'a' && c <= L'z'))
            c ^= 0x20; // without the locale, ASCII letters at least
    }
    return text;
}

} // namespace minihost::lisp
