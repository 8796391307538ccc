// File paths between the system's bytes and the host's wide text, byte for byte.
//
// A path on this system is any sequence of bytes but NUL; the host's paths are wide text. Valid
// UTF-8 becomes the characters it encodes; every other byte b becomes the unit 0xDC00 + b (a
// lone low surrogate from U+DC80 to U+DCFF, which no valid text holds), so that any path the
// system gives converts to wide text and back to the same bytes. Separate from utf8.h, whose
// decoding for drawing text turns such bytes into U+FFFD.
#pragma once

#include <string>

namespace minihost {

// The wide text of the path `bytes`.
std::wstring pathText(const std::string& bytes);
// The bytes of the wide path `text` into `out`; false (and `out` unspecified) when the text
// holds a unit no path can: a NUL, a surrogate outside U+DC80 to U+DCFF, or a value past
// U+10FFFF.
bool pathBytes(const std::wstring& text, std::string& out);

} // namespace minihost
