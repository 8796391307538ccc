#include "minihost/drawing/dxf/dxf_text.h"

namespace minihost {
namespace dxf {
namespace {

const wchar_t kReplacement = 0xFFFD;

void appendEscape(std::string& out, char32_t unit) {
    static const char digits[] = "0123456789ABCDEF";
    out += "\\U+";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += digits[(unit >> shift) & 0xF];
}

// A character that the drawing's code page lacks: one escape, or a surrogate pair of them.
void escapeCharacter(std::string& out, char32_t c) {
    if (c < 0x10000) {
        appendEscape(out, c);
        return;
    }
    appendEscape(out, 0xD800 + ((c - 0x10000) >> 10));
    appendEscape(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
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

// The unit of a \U+XXXX escape at text[i], or -1.
long escapeAt(const std::wstring& text, std::size_t i) {
    if (i + 7 > text.size() || text[i] != L'\\' || text[i + 1] != L'U' || text[i + 2] != L'+')
        return -1;
    long unit = 0;
    for (std::size_t k = i + 3; k < i + 7; ++k) {
        int digit = hexValue(text[k]);
        if (digit < 0)
            return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

// Undoes the escapes in place: what replaces an escape is never longer than the escape, so the
// text is rewritten from the front without a second copy (values can be megabytes long).
void unescape(std::wstring& text) {
    std::size_t i = 0, out = 0;
    while (i < text.size()) {
        wchar_t c = text[i];
        if (c == L'^' && i + 1 < text.size()) {
            wchar_t next = text[i + 1];
            if (next == L' ') {
                text[out++] = L'^';
                i += 2;
                continue;
            }
            if (next >= 0x40 && next <= 0x5F) {
                text[out++] = static_cast<wchar_t>(next - 0x40);
                i += 2;
                continue;
            }
        }
        long unit = escapeAt(text, i);
        if (unit < 0) {
            text[out++] = c;
            ++i;
            continue;
        }
        i += 7;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            long low = escapeAt(text, i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                if (sizeof(wchar_t) == 2) { // 16-bit text keeps the pair as it is
                    text[out++] = static_cast<wchar_t>(unit);
                    text[out++] = static_cast<wchar_t>(low);
                } else {
                    text[out++] =
                        static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                }
                i += 7;
                continue;
            }
        }
        text[out++] = static_cast<wchar_t>(unit);
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
    unescape(raw);
    return raw;
}

bool encodeValue(const std::wstring& text, std::string& line, int codePage) {
    line.clear();
    line.reserve(text.size() + 8);
    // Plain characters gather here and go to the code page together; anything the code page
    // lacks becomes an escape.
    std::wstring plain;
    auto flush = [&]() {
        if (plain.empty())
            return true;
        bool ok = codepage::encode(codePage, plain, line, escapeCharacter) == codepage::Status::kOk;
        plain.clear();
        return ok;
    };
    // Blanks at either end are written as they are, as other readers expect; the caret
    // escapes are the format's own.
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if (c > 0x10FFFF)
            return false;
        bool isPlain =
            c >= 0x20 && c != '^' &&
            !(c == '\\' && i + 2 < text.size() && text[i + 1] == L'U' && text[i + 2] == L'+');
        if (isPlain) {
            plain += text[i];
            continue;
        }
        if (!flush())
            return false;
        if (c < 0x20) {
            line += '^';
            line += static_cast<char>(c + 0x40);
        } else if (c == '^') {
            line += "^ ";
        } else {
            appendEscape(line, c); // a literal "\U+" would otherwise read as an escape
        }
    }
    return flush();
}

} // namespace dxf
} // namespace minihost
