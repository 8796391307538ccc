// Printing LISP values the way the host prints them, and the UTF-8 text they are read from and
// printed as.
#pragma once

#include <string>

#include "minihost/lisp/lisp_value.h"

namespace minihost::lisp {

// The value as prin1 prints it: strings quoted, with \" \\ \n \t \r \e and other control
// characters as octal escapes; symbols in upper case; reals with six significant digits.
std::string prin1Text(const ValuePtr& v);
// The value as princ prints it: like prin1, but strings (also inside lists) as their plain text.
std::string princText(const ValuePtr& v);
// A real as the host prints it: 3.14159, 1.0, 1.0e+20.
std::string realText(double r);

// UTF-8 from wide text; a unit that is no Unicode scalar value becomes U+FFFD.
std::string utf8(const std::wstring& text);
// Wide text from UTF-8; each byte of an invalid sequence becomes U+FFFD.
std::wstring fromUtf8(const std::string& bytes);

} // namespace minihost::lisp
