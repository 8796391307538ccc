// The texts of a binary drawing's summary: UTF-16LE from AC1021 on, 8-bit text in the
// drawing's code page (the index at 0x13 of the file) for AC1018, through the code pages of
// code_page.h (iconv) and with the escapes of text_escapes.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace minihost {
namespace dwg {

// How the texts of one drawing are stored.
struct TextForm {
    bool wide = true;      // UTF-16LE; else 8-bit
    int codePage = 1252;   // for 8-bit text: the Windows code page number
    bool knownPage = true; // false: the index was unknown and 1252 stands in for reading only
};

// The form of the texts of a drawing of `version` whose code-page index is `index`.
TextForm textForm(const std::string& version, unsigned index);

// Decodes `n` units of text (bytes, or UTF-16 units of 2 bytes each) at `data`. A surrogate
// pair is one character, a lone surrogate and a byte the code page does not map read as
// U+FFFD. 8-bit text then has its escapes undone (\U+XXXX and \M+nXXXX, see
// ../text_escapes.h), an escaped lone surrogate reading as U+FFFD too; UTF-16 text has none.
std::wstring decodeText(const std::uint8_t* data, std::size_t units, const TextForm& form);

// Encodes `text` as units of `form` (no terminating NUL) into `out` (replaced), so that
// decodeText gives it back. 8-bit text writes a character the drawing's code page lacks, a
// backslash that starts "\U+" or "\M+", and NUL as \U+XXXX escapes. False when a character
// cannot be written: a lone surrogate or a value beyond U+10FFFF, or any 8-bit text when the
// code page is unknown or iconv lacks it.
bool encodeText(const std::wstring& text, const TextForm& form, std::string& out);

} // namespace dwg
} // namespace minihost
