// Windows code pages, the 8-bit encodings of text in older drawings: their names in a DXF
// header, and conversion to and from wide text through the C library's iconv. Any format that
// stores text in a code page (DXF $DWGCODEPAGE, the code-page index of binary drawings) names
// it here by its Windows code-page number.
#pragma once

#include <cstddef>
#include <string>

namespace minihost {
namespace codepage {

// Windows code-page numbers with a meaning of their own here.
constexpr int kUnknown = 0;
constexpr int kWestern = 1252; // what older drawings that name no code page hold
constexpr int kUtf8 = 65001;

// The code page that a $DWGCODEPAGE value names: "ANSI_1251" (any ANSI_n), "DOS866" (any DOSn),
// "ISO8859-5", "MACINTOSH", "BIG5", "GB2312", "KSC5601", "JOHAB", "ASCII", in any letter case,
// blanks ignored. kUnknown for any other name.
int fromDxfName(const std::string& name);

// True when iconv on this system converts `codePage` both ways.
bool isAvailable(int codePage);

enum class Status {
    kOk,
    kUnavailable, // iconv lacks the code page (or it is kUnknown)
    kUnencodable, // the text holds a character the code page lacks, and no escape was given
};

// Appends to `out` what stands for the character `c` that the code page lacks.
using Escape = void (*)(std::string& out, char32_t c);
// Whether the character `c`, which ends at text[next] of the `n` units, must go to the escape
// even where the code page has it (what would read as something else after decoding).
using MustEscape = bool (*)(char32_t c, const wchar_t* text, std::size_t n, std::size_t next);

// Wide text of `n` bytes in `codePage` (kUtf8 included), appended to `out`. A byte that starts
// no character of the code page, and a character cut short at the end, become U+FFFD each.
// Bytes read as Windows reads them where iconv differs (Johab's 0x5C is a backslash).
Status decode(int codePage, const char* bytes, std::size_t n, std::wstring& out);

// The bytes of the `n` units of wide text at `text` in `codePage`, appended to `out`. Only
// characters that read back as themselves are encoded, also after the byte before them (the
// last of `out`: 1255 and 1258 join a combining mark to the letter before it); any other (one
// the code page lacks, a lone surrogate, a value beyond U+10FFFF) goes to `escape`, or makes
// the result kUnencodable when `escape` is null, leaving `out` unspecified; so does a
// character `must` names.
Status encode(int codePage, const wchar_t* text, std::size_t n, std::string& out,
              Escape escape = nullptr, MustEscape must = nullptr);

} // namespace codepage
} // namespace minihost
