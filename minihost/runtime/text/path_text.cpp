#include "minihost/runtime/text/path_text.h"

#include "minihost/runtime/text/utf8.h"

namespace minihost {

std::wstring pathText(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        // The length of the valid UTF-8 sequence at i, or 0.
        const unsigned char b = s[i];
        std::size_t length = b < 0x80         ? 1
                             : (b >> 5) == 6  ? 2
                             : (b >> 4) == 14 ? 3
                             : (b >> 3) == 30 ? 4
                                              : 0;
        char32_t c = length == 1   ? b
                     : length == 2 ? (b & 0x1F)
                     : length == 3 ? (b & 0x0F)
                                   : (b & 0x07);
        if (length == 0 || i + length > n) {
            length = 0;
        } else {
            for (std::size_t k = 1; k < length && length; ++k) {
                if ((s[i + k] & 0xC0) != 0x80)
                    length = 0;
                else
                    c = (c << 6) | (s[i + k] & 0x3F);
            }
            static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
            if (length && (c < kLeast[length] || !isScalarValue(c)))
                length = 0;
        }
        if (length == 0) {
            out += static_cast<wchar_t>(0xDC00 + b); // a byte of no valid sequence
            ++i;
        } else {
            out += static_cast<wchar_t>(c);
            i += length;
        }
    }
    return out;
}

bool pathBytes(const std::wstring& text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (wchar_t wc : text) {
        const auto c = static_cast<char32_t>(wc);
        if (c == 0 || c > 0x10FFFF)
            return false;
        if (isSurrogate(c)) {
            if (c < 0xDC80 || c > 0xDCFF)
                return false;
            out += static_cast<char>(c - 0xDC00);
            continue;
        }
        appendUtf8(out, c);
    }
    return true;
}

} // namespace minihost
