#include "minihost/drawing/dwg/dwg_text.h"

#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/code_page.h"
#include "minihost/drawing/text_escapes.h"
#include "minihost/runtime/text/utf8.h"

namespace minihost {
namespace dwg {
namespace {

// Windows code page numbers by the index a drawing stores; 0 where the index names none that
// 8-bit text can use.
const int kCodePages[] = {
    1252, 20127, 28591, 28592, 28593, 28594, 28595, 28596, 28597, 28598, 28599,
    437,  850,   852,   855,   857,   860,   861,   863,   864,   865,   869,
    932,  10000, 950,   949,   1361,  866,   1250,  1251,  1252,  936,   1253,
    1254, 1255,  1256,  1257,  874,   932,   936,   949,   950,   1361,  0 /* UTF-16 */,
    1258};

// UTF-16 text: a surrogate pair is one character, a lone surrogate becomes U+FFFD.
std::wstring decodeWide(const std::uint8_t* data, std::size_t units) {
    std::u16string utf16(units, u'\0');
    for (std::size_t i = 0; i < units; ++i)
        utf16[i] = static_cast<char16_t>(get16(data + 2 * i));
    std::wstring out;
    out.reserve(units);
    for (std::size_t i = 0; i < units;) {
        const char32_t c = nextCodePoint(utf16.data(), units, i);
        appendCodePoint(out, isScalarValue(c) ? c : 0xFFFD);
    }
    return out;
}

// 8-bit text: the bytes in the code page, then the escapes. An escape may make a lone
// surrogate, which reads as U+FFFD as in UTF-16 text (one unit for one, so in place).
std::wstring decodeNarrow(const std::uint8_t* data, std::size_t n, int codePage) {
    std::wstring out;
    if (codepage::decode(codePage, reinterpret_cast<const char*>(data), n, out) !=
        codepage::Status::kOk) {
        out.clear(); // no converter for it: the first 128 characters are the same everywhere
        for (std::size_t i = 0; i < n; ++i)
            out += static_cast<wchar_t>(data[i] < 0x80 ? data[i] : 0xFFFD);
    }
    escapes::undo(out);
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t at = i;
        if (isSurrogate(nextCodePoint(out.data(), out.size(), i)))
            out[at] = 0xFFFD;
    }
    return out;
}

} // namespace

TextForm textForm(const std::string& version, unsigned index) {
    TextForm form;
    form.wide = version >= "AC1021"; // AC1018 and before: 8-bit text
    int page = index < sizeof kCodePages / sizeof kCodePages[0] ? kCodePages[index] : 0;
    form.knownPage = page != 0;
    form.codePage = page != 0 ? page : 1252;
    return form;
}

std::wstring decodeText(const std::uint8_t* data, std::size_t units, const TextForm& form) {
    return form.wide ? decodeWide(data, units) : decodeNarrow(data, units, form.codePage);
}

bool encodeText(const std::wstring& text, const TextForm& form, std::string& out) {
    out.clear();
    if (form.wide) {
        std::u16string utf16;
        for (std::size_t i = 0; i < text.size();) {
            const char32_t c = nextCodePoint(text.data(), text.size(), i);
            if (!isScalarValue(c))
                return false; // would not read back as itself (surrogates read as U+FFFD)
            appendCodePoint(utf16, c);
        }
        for (char16_t unit : utf16)
            add16(out, unit);
        return true;
    }
    return form.knownPage &&
           escapes::encode(form.codePage, text.data(), text.size(), out) == codepage::Status::kOk;
}

} // namespace dwg
} // namespace minihost
