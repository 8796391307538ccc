#include "minihost/drawing/text_escapes.h"

#include "minihost/runtime/text/utf8.h"

namespace minihost {
namespace escapes {
namespace {

// The code pages of \M+1 to \M+5.
const int kDoubleBytePages[] = {932, 950, 949, 1361, 936};

void appendUnit(std::string& out, char32_t unit) {
    static const char digits[] = "0123456789ABCDEF";
    out += "\\U+";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += digits[(unit >> shift) & 0xF];
}

int hexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

// The value of the four hex digits at text[i], or -1.
long hexAt(const std::wstring& text, std::size_t i) {
    if (i > text.size() || text.size() - i < 4)
        return -1;
    long value = 0;
    for (std::size_t k = i; k < i + 4; ++k) {
        const int digit = hexValue(text[k]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// The unit of a \U+XXXX escape at text[i], or -1.
long unicodeAt(const std::wstring& text, std::size_t i) {
    return text.compare(i, 3, L"\\U+") == 0 ? hexAt(text, i + 3) : -1;
}

// The character of a \M+nXXXX escape at text[i], or 0 when there is none.
char32_t doubleByteAt(const std::wstring& text, std::size_t i) {
    if (text.compare(i, 3, L"\\M+") != 0 || i + 3 >= text.size())
        return 0;
    const wchar_t page = text[i + 3];
    const long code = hexAt(text, i + 4);
    if (page < L'1' || page > L'5' || code < 0)
        return 0;
    const char bytes[] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    std::wstring decoded;
    if (codepage::decode(kDoubleBytePages[page - L'1'], bytes, 2, decoded) !=
            codepage::Status::kOk ||
        decoded.empty())
        return 0;
    std::size_t end = 0;
    const char32_t c = nextCodePoint(decoded.data(), decoded.size(), end);
    return end == decoded.size() && c != 0xFFFD ? c : 0; // one character, and a mapped one
}

// Writes `c` at text[at] (two units for a surrogate pair where wchar_t has 16 bits) and returns
// where the next unit goes. Only called where an escape of at least seven units was read.
std::size_t put(std::wstring& text, std::size_t at, char32_t c) {
    if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
        text[at++] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        c = 0xDC00 + ((c - 0x10000) & 0x3FF);
    }
    text[at++] = static_cast<wchar_t>(c);
    return at;
}

// The character of the escape at text[i] and its length in units; length 0 when none starts
// there.
char32_t escapeAt(const std::wstring& text, std::size_t i, std::size_t& length) {
    length = 0;
    const long unit = unicodeAt(text, i);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        const long low = unicodeAt(text, i + 7);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            length = 14;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    if (unit >= 0) {
        length = 7;
        return static_cast<char32_t>(unit);
    }
    const char32_t c = doubleByteAt(text, i);
    if (c != 0)
        length = 8;
    return c;
}

// Whether the backslash before text[i] starts an escape a reader would undo.
bool startsEscape(const wchar_t* text, std::size_t n, std::size_t i) {
    return i + 1 < n && (text[i] == L'U' || text[i] == L'M') && text[i + 1] == L'+';
}

} // namespace

void appendUnicode(std::string& out, char32_t c) {
    if (c < 0x10000) {
        appendUnit(out, c);
        return;
    }
    appendUnit(out, 0xD800 + ((c - 0x10000) >> 10));
    appendUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
}

void undo(std::wstring& text) {
    // What replaces an escape is never longer than the escape, so the text is rewritten from
    // the front.
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        const char32_t c = text[i] == L'\\' ? escapeAt(text, i, length) : 0;
        if (length == 0) {
            text[out++] = text[i++];
            continue;
        }
        out = put(text, out, c);
        i += length;
    }
    text.resize(out);
}

codepage::Status encode(int codePage, const wchar_t* text, std::size_t n, std::string& out) {
    // NUL would end a stored text, and a backslash before "U+" or "M+" would read as an escape.
    auto must = [](char32_t c, const wchar_t* all, std::size_t size, std::size_t next) {
        return c == 0 || (c == L'\\' && startsEscape(all, size, next));
    };
    for (std::size_t i = 0; i < n;)
        if (!isScalarValue(nextCodePoint(text, n, i)))
            return codepage::Status::kUnencodable;
    return codepage::encode(codePage, text, n, out, appendUnicode, must);
}

} // namespace escapes
} // namespace minihost
