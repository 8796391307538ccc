// The backslash escapes of 8-bit drawing text, shared by DXF and binary AC1018 drawings: a
// character that the drawing's code page lacks is written as \U+XXXX, and a reader also takes
// \M+nXXXX, a double-byte character of an East Asian code page. What one format adds of its own
// (DXF's caret escapes) stays in that format's code. See docs/drawing-file.md.
#pragma once

#include <cstddef>
#include <string>

#include "minihost/drawing/code_page.h"

namespace minihost {
namespace escapes {

// Appends to `out` the escape \U+XXXX (four upper-case hex digits of a UTF-16 unit) of `c`, a
// code point up to U+10FFFF: two escapes, a surrogate pair, beyond U+FFFF. A lone surrogate is
// written as its own unit. Fits codepage::Escape.
void appendUnicode(std::string& out, char32_t c);

// Undoes the escapes of `text` in place, without a second copy (values can be megabytes long):
// - \U+XXXX (four hex digits, either case) becomes that UTF-16 unit; a high surrogate escape
//   followed by a low one becomes one character (a surrogate pair where wchar_t has 16 bits).
//   Any other surrogate escape stays a lone surrogate unit, for the caller to keep or replace.
// - \M+nXXXX (n from 1 to 5 naming code page 932, 950, 949, 1361, 936; XXXX the two bytes of a
//   double-byte character in hex, high byte first) becomes that character. Bytes that make no
//   single character of the code page, or a code page iconv lacks, leave the escape as text.
// Anything else, malformed escapes included, is itself. Call it on text already decoded from
// its bytes, so that the second byte of a double-byte character (0x5C) is never a backslash.
void undo(std::wstring& text);

// Appends `n` units of wide text at `text` to `out` as bytes of `codePage` that `undo` reads
// back (after decoding) as the same text: a character the code page lacks becomes its \U+XXXX
// escape, and so do a backslash that starts "\U+" or "\M+" (\U+005C) and NUL (\U+0000, which
// would end a stored text). kUnencodable when the text holds a unit that is no Unicode scalar
// value (a lone surrogate, a value beyond U+10FFFF); kUnavailable when iconv lacks the code
// page. `out` is unspecified after a failure.
codepage::Status encode(int codePage, const wchar_t* text, std::size_t n, std::string& out);

} // namespace escapes
} // namespace minihost
