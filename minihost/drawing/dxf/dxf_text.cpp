#include "minihost/drawing/dxf/dxf_text.h"

#include "minihost/drawing/text_escapes.h"
#include "minihost/runtime/text/utf8.h"

namespace minihost {
namespace dxf {
namespace {

const wchar_t kReplacement = 0xFFFD;

// Undoes the caret escapes in place, before the backslash escapes: a caret escape never makes a
// character of a backslash escape, and a backslash escape may make a caret (\U+005E).
void undoCarets(std::wstring& text) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const wchar_t next = c == L'^' && i + 1 < text.size() ? text[i + 1] : 0;
        if (next == L' ') {
            text[out++] = L'^';
            ++i;
        } else if (next >= 0x40 && next <= 0x5F) {
            text[out++] = static_cast<wchar_t>(next - 0x40);
            ++i;
        } else {
            text[out++] = c;
        }
    }
    text.resize(out);
}

} // namespace

std::wstring decodeValue(const char* bytes, std::size_t length, int codePage) {
    std::wstring raw;
    raw.reserve(length);
    if (codepage::decode(codePage, bytes, length, raw) != codepage::Status::kOk)
        for (std::size_t i = 0; i < length; ++i)
            raw += static_cast<unsigned char>(bytes[i]) < 0x80 ? static_cast<wchar_t>(bytes[i])
                                                               : kReplacement;
    undoCarets(raw);
    escapes::undo(raw);
    return raw;
}

bool encodeValue(const std::wstring& text, std::string& line, int codePage) {
    line.clear();
    line.reserve(text.size() + 8);
    // Runs of plain characters go to the code page with the shared escapes; control characters
    // and carets take the format's own caret escapes, lone surrogates a \U+XXXX escape. Blanks
    // at either end are written as they are, as other readers expect.
    std::size_t runStart = 0;
    for (std::size_t i = 0;;) {
        const std::size_t at = i;
        char32_t c = 0;
        if (at < text.size()) {
            c = nextCodePoint(text.data(), text.size(), i);
            if (c > 0x10FFFF)
                return false;
            if (c >= 0x20 && c != '^' && !isSurrogate(c))
                continue;
        }
        if (escapes::encode(codePage, text.data() + runStart, at - runStart, line) !=
            codepage::Status::kOk)
            return false;
        if (at == text.size())
            return true;
        if (c < 0x20) {
            line += '^';
            line += static_cast<char>(c + 0x40);
        } else if (c == '^') {
            line += "^ ";
        } else {
            escapes::appendUnicode(line, c);
        }
        runStart = i;
    }
}

} // namespace dxf
} // namespace minihost
