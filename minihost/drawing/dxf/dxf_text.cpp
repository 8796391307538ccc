#include "minihost/drawing/dxf/dxf_text.h"

#include <cctype>

#include "minihost/runtime/utf8.h"

namespace minihost {
namespace dxf {
namespace {

// Windows-1252 in 0x80..0x9F; the five unassigned bytes map to the C1 controls, as Windows does.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const wchar_t kReplacement = 0xFFFD;

void appendEscape(std::string& out, char32_t unit) {
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
                text[out++] =
                    static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 7;
                continue;
            }
        }
        text[out++] = static_cast<wchar_t>(unit);
    }
    text.resize(out);
}

// Blanks that readers may trim from either end of a line.
bool isBlank(char32_t c) {
    return c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

} // namespace

Encoding encodingOfCodePage(const std::string& codePage) {
    std::string upper;
    for (char c : codePage)
        if (c != ' ' && c != '\t')
            upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper == "ANSI_1252" ? Encoding::Cp1252 : Encoding::Ascii;
}

std::wstring decodeValue(const char* bytes, std::size_t length, Encoding encoding) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    std::wstring raw;
    if (encoding == Encoding::Utf8) {
        raw = decodeUtf8(s, length);
    } else {
        raw.reserve(length);
        for (std::size_t i = 0; i < length; ++i) {
            unsigned char b = s[i];
            if (b < 0x80)
                raw += static_cast<wchar_t>(b);
            else if (encoding == Encoding::Ascii)
                raw += kReplacement;
            else if (b < 0xA0)
                raw += static_cast<wchar_t>(kCp1252High[b - 0x80]);
            else
                raw += static_cast<wchar_t>(b);
        }
    }
    unescape(raw);
    return raw;
}

bool encodeValue(const std::wstring& text, std::string& line) {
    line.clear();
    line.reserve(text.size() + 8);
    std::size_t lead = 0;
    while (lead < text.size() && isBlank(static_cast<char32_t>(text[lead])))
        ++lead;
    std::size_t trail = text.size();
    while (trail > lead && isBlank(static_cast<char32_t>(text[trail - 1])))
        --trail;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if (c > 0x10FFFF)
            return false;
        if (c < 0x20) {
            line += '^';
            line += static_cast<char>(c + 0x40);
        } else if (c == '^' && i + 1 < text.size()) {
            line += "^ ";
        } else if (c == '^') {
            appendEscape(line, c); // "^ " would end the line in a blank
        } else if (c == '\\' && i + 2 < text.size() && text[i + 1] == L'U' && text[i + 2] == L'+') {
            appendEscape(line, c); // a literal "\U+" would otherwise read as an escape
        } else if (i < lead || i >= trail || (c >= 0xD800 && c <= 0xDFFF)) {
            appendEscape(line, c);
        } else {
            appendUtf8(line, c);
        }
    }
    return true;
}

bool toUtf8(const std::wstring& text, std::string& out) {
    out.clear();
    for (wchar_t w : text) {
        auto c = static_cast<char32_t>(w);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        appendUtf8(out, c);
    }
    return true;
}

} // namespace dxf
} // namespace minihost
