// UTF-8 and the stand-in's wide text (one wchar_t per code point) in both directions.
#pragma once

#include <cstddef>
#include <string>

namespace minihost {

// Appends the UTF-8 form of `c`, a code point up to U+10FFFF.
inline void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Wide text from `n` bytes of UTF-8. Each byte of an invalid sequence (a bad lead or
// continuation byte, an overlong form, a surrogate, a value past U+10FFFF, a sequence cut
// short) becomes U+FFFD, and decoding goes on with the next byte.
inline std::wstring decodeUtf8(const unsigned char* s, std::size_t n) {
    std::wstring out;
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        const int extra = b < 0x80         ? 0
                          : (b >> 5) == 6  ? 1
                          : (b >> 4) == 14 ? 2
                          : (b >> 3) == 30 ? 3
                                           : -1;
        char32_t c = extra == 0   ? b
                     : extra == 1 ? (b & 0x1F)
                     : extra == 2 ? (b & 0x0F)
                                  : (b & 0x07);
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < n;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (s[i + k] & 0x3F);
        }
        static const char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out += static_cast<wchar_t>(0xFFFD);
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += 1 + static_cast<std::size_t>(extra);
    }
    return out;
}

inline std::wstring decodeUtf8(const std::string& bytes) {
    return decodeUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

} // namespace minihost
