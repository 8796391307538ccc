// UTF-8 and the stand-in's wide text in both directions. Wide text is UTF-32 where wchar_t has
// 32 bits (Linux) and UTF-16 where it has 16 (Windows): a code point above U+FFFF is one unit in
// the first and a surrogate pair in the second. The templates take the unit type, so that both
// widths run the same code (wchar_t, and char16_t to try UTF-16 where wchar_t is wider).
#pragma once

#include <cstddef>
#include <string>

namespace minihost {

constexpr bool isSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// A Unicode scalar value: a code point up to U+10FFFF that is no surrogate.
constexpr bool isScalarValue(char32_t c) {
    return c <= 0x10FFFF && !isSurrogate(c);
}

// Appends `c`, a code point up to U+10FFFF, to wide text: one unit, or in 16-bit text a surrogate
// pair when `c` is above U+FFFF.
template <class Char> void appendCodePoint(std::basic_string<Char>& out, char32_t c) {
    if (sizeof(Char) == 2 && c > 0xFFFF) {
        c -= 0x10000;
        out += static_cast<Char>(0xD800 + (c >> 10));
        out += static_cast<Char>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<Char>(c);
    }
}

// The code point at text[i] (i < size), moving i past it. In 16-bit text a high surrogate
// followed by a low one is one code point; every other unit stands for itself, so a lone
// surrogate (or, in 32-bit text, any surrogate or a value beyond U+10FFFF) comes back as it is,
// for the caller to replace or refuse.
template <class Char> char32_t nextCodePoint(const Char* text, std::size_t size, std::size_t& i) {
    const auto c = static_cast<char32_t>(text[i++]);
    if (sizeof(Char) == 2 && c >= 0xD800 && c <= 0xDBFF && i < size) {
        const auto low = static_cast<char32_t>(text[i]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            ++i;
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return c;
}

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

// UTF-8 of wide text. A unit that is no Unicode scalar value (a lone surrogate, or in 32-bit
// text a value beyond U+10FFFF) becomes U+FFFD.
template <class Char> std::string encodeUtf8(const std::basic_string<Char>& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = nextCodePoint(text.data(), text.size(), i);
        appendUtf8(out, isScalarValue(c) ? c : 0xFFFD);
    }
    return out;
}

// Wide text from `n` bytes of UTF-8. Each byte of an invalid sequence (a bad lead or
// continuation byte, an overlong form, a surrogate, a value past U+10FFFF, a sequence cut
// short) becomes U+FFFD, and decoding goes on with the next byte.
template <class Char> std::basic_string<Char> decodeUtf8As(const unsigned char* s, std::size_t n) {
    std::basic_string<Char> out;
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
        if (ok && (c < kLeast[extra] || !isScalarValue(c)))
            ok = false;
        if (!ok) {
            out += static_cast<Char>(0xFFFD);
            ++i;
            continue;
        }
        appendCodePoint(out, c);
        i += 1 + static_cast<std::size_t>(extra);
    }
    return out;
}

inline std::wstring decodeUtf8(const unsigned char* s, std::size_t n) {
    return decodeUtf8As<wchar_t>(s, n);
}

inline std::wstring decodeUtf8(const std::string& bytes) {
    return decodeUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

} // namespace minihost
