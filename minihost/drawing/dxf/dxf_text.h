// Text of DXF group values: the byte encodings a drawing's text comes in, and the escapes that
// let any wide text survive a trip through a DXF line (see docs/drawing-file.md).
#pragma once

#include <cstddef>
#include <string>

namespace minihost {
namespace dxf {

enum class Encoding {
    Utf8,   // drawings of AC1021 and later
    Cp1252, // older drawings whose code page is ANSI_1252
    Ascii,  // older drawings in another code page: only ASCII and escapes are understood
};

// The code page named by $DWGCODEPAGE as an encoding of an older drawing.
Encoding encodingOfCodePage(const std::string& codePage);

// The wide text of a group value line (without its line end): bytes decoded, escapes undone.
// Bytes that the encoding cannot decode become U+FFFD.
std::wstring decodeValue(const char* bytes, std::size_t length, Encoding encoding);

// The UTF-8 line that decodeValue reads back as `text`. False when `text` holds a unit that no
// DXF line can carry (beyond U+10FFFF), leaving `line` unspecified.
bool encodeValue(const std::wstring& text, std::string& line);

// Plain UTF-8 of a wide text such as a file path; false when a unit is no Unicode scalar value.
bool toUtf8(const std::wstring& text, std::string& out);

} // namespace dxf
} // namespace minihost
