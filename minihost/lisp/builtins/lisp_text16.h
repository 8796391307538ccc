// Strings as the host counts and compares them: in UTF-16 units, whatever the width of
// wchar_t, and letter case by Unicode, whatever the program's locale.
#pragma once

#include <string>

namespace minihost::lisp {

// The UTF-16 form of the stand-in's wide text (a code point above U+FFFF takes two units).
std::u16string toUtf16(const std::wstring& text);
// Wide text from UTF-16; a surrogate pair is one code point, a lone surrogate stays as it is.
std::wstring fromUtf16(const std::u16string& text);

// The text in upper case, or in lower case when `lower`.
std::wstring changeCase(std::wstring text, bool lower);

} // namespace minihost::lisp
