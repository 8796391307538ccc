// Text of DXF group values: the byte encodings a drawing's text comes in, and the escapes that
// let any wide text survive a trip through a DXF line: the format's own caret escapes here, the
// backslash escapes of ../text_escapes.h (see docs/drawing-file.md).
#pragma once

#include <cstddef>
#include <string>

#include "minihost/drawing/code_page.h"

namespace minihost {
namespace dxf {

// The wide text of a group value line (without its line end) in a drawing whose text is in
// `codePage` (codepage::kUtf8 from AC1021 on): bytes decoded, escapes undone. Bytes that are no
// character of the code page become U+FFFD. The code page must be one codepage::isAvailable
// accepts; in any other only ASCII is understood.
std::wstring decodeValue(const char* bytes, std::size_t length, int codePage);

// The line in `codePage` that decodeValue reads back as `text`; characters the code page lacks
// and lone surrogates are written as \U+XXXX escapes. False when `text` holds a unit that no DXF
// line can carry (beyond U+10FFFF) or the code page is not available, leaving `line`
// unspecified.
bool encodeValue(const std::wstring& text, std::string& line, int codePage);

} // namespace dxf
} // namespace minihost
