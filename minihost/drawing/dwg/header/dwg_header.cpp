#include "minihost/drawing/dwg/header/dwg_header.h"

#include <cstring>

#include "minihost/drawing/dwg/header/dwg_bits.h"
#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/header/dwg_header_walk.h"
#include "minihost/drawing/code_page.h"

namespace minihost {
namespace dwg {

const char* const kHeaderName = "AcDb:Header";

namespace {

using header::Stream;
using header::Walk;

const std::uint8_t kStartSentinel[16] = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                         0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
const std::uint8_t kEndSentinel[16] = {0x30, 0x84, 0xE0, 0xDC, 0x02, 0x21, 0xC7, 0x56,
                                       0xA0, 0x83, 0x97, 0x47, 0xB1, 0x92, 0xCC, 0xA0};
constexpr std::size_t kSentinelSize = sizeof kStartSentinel;
constexpr std::size_t kSizeField = 0x10;    // S, the data bytes that follow
constexpr std::size_t kBitSizeField = 0x18; // AC1024+: N, the bits up to the string footer
constexpr std::uint64_t kStreamBase = 0xC0; // AC1024+: the bit N counts from
constexpr std::uint64_t kFooterEndBit = 1;  // AC1024+: 1 = a string stream is there
// AC1024+: the fewest bits N can count: itself, a one-short footer and the end bit.
constexpr std::uint64_t kLeastBitSize = 32 + 16 + 1;

// Where the parts of a section are: byte offsets, bit positions.
struct Frame {
    unsigned version = 0;
    std::size_t dataBegin = 0;                  // the first byte S counts
    std::uint64_t size = 0;                     // S
    std::uint64_t streamBegin = 0, dataEnd = 0; // bits: where the variables start, the data ends
    // AC1024+
    std::uint64_t bitSize = 0;                       // N
    std::uint64_t stringsBegin = 0, footerBegin = 0; // bits
    // HYPERLINKBASE's bits, once located
    std::uint64_t valueBegin = 0, valueEnd = 0;
};

bool wide(const Frame& f) {
    return f.version != header::k18;
}

std::uint64_t handlesBegin(const Frame& f) {
    return kStreamBase + f.bitSize;
}

// AC1024+: the string stream and its footer, found from the end bit N names.
Acad::ErrorStatus findStrings(const std::string& section, Frame& f) {
    if (f.bitSize < kLeastBitSize || handlesBegin(f) > f.dataEnd)
        return Acad::eDwgCorrupt;
    const std::uint64_t endBit = handlesBegin(f) - 1;
    BitReader in(bytes(section), section.size(), endBit, endBit + 1);
    if (in.b() != kFooterEndBit || endBit - f.streamBegin < 16)
        return Acad::eDwgCorrupt;
    BitReader footer(bytes(section), section.size(), endBit - 16, endBit);
    std::uint64_t length = footer.rs();
    f.footerBegin = endBit - 16;
    if (length & 0x8000) {
        if (f.footerBegin - f.streamBegin < 16)
            return Acad::eDwgCorrupt;
        f.footerBegin -= 16;
        BitReader high(bytes(section), section.size(), f.footerBegin, f.footerBegin + 16);
        length = (length & 0x7FFF) | std::uint64_t{high.rs()} << 15;
    }
    if (length > f.footerBegin - f.streamBegin)
        return Acad::eDwgCorrupt;
    f.stringsBegin = f.footerBegin - length;
    return Acad::eOk;
}

// The sentinels, the size fields and the CRC: everything but the variables.
Acad::ErrorStatus readFrame(const std::string& section, const HeaderContext& context, Frame& f) {
    f.version = header::versionBit(context.version);
    if (f.version == 0 ||
        ((f.version == header::k24 || f.version == header::k27) && context.byte12 <= 3))
        return Acad::eNotImplementedYet; // an older layout without the field at 0x14
    f.dataBegin = wide(f) ? kBitSizeField : kSizeField + 4;
    const std::uint8_t* p = bytes(section);
    if (section.size() < f.dataBegin + 2 + kSentinelSize ||
        std::memcmp(p, kStartSentinel, kSentinelSize) != 0)
        return Acad::eDwgCorrupt;
    f.size = get32(p + kSizeField);
    const std::uint64_t crcAt = f.dataBegin + f.size;
    if (f.size > section.size() - f.dataBegin - 2 - kSentinelSize ||
        std::memcmp(p + crcAt + 2, kEndSentinel, kSentinelSize) != 0 || (wide(f) && f.size < 4))
        return Acad::eDwgCorrupt;
    if (headerCrc(p + kSizeField, static_cast<std::size_t>(crcAt - kSizeField)) != get16(p + crcAt))
        return Acad::eDwgCRCError;
    f.dataEnd = crcAt * 8;
    if (!wide(f)) {
        f.streamBegin = f.dataBegin * 8;
        return Acad::eOk;
    }
    f.bitSize = get32(p + kBitSizeField);
    f.streamBegin = kStreamBase + 32;
    return findStrings(section, f);
}

// AC1024+: walks the string stream; HYPERLINKBASE is the fifth text from its end.
Acad::ErrorStatus locateWide(const std::string& section, Frame& f,
                             std::vector<std::pair<std::uint64_t, std::uint64_t>>& texts) {
    BitReader in(bytes(section), section.size(), f.stringsBegin, f.footerBegin);
    if (!header::walkStrings(in, texts))
        return Acad::eDwgCorrupt;
    const auto& value = texts[texts.size() - header::kValueFromEnd];
    f.valueBegin = value.first;
    f.valueEnd = value.second;
    return Acad::eOk;
}

// Whether `in` stopped without a failed read at most `fill` bits (the fill) before `end`.
bool endsBefore(const BitReader& in, std::uint64_t end, std::uint64_t fill) {
    return in.ok() && in.position() <= end && end - in.position() <= fill;
}

// AC1018: every variable in one stream, ending within the last byte of the data.
Acad::ErrorStatus checkNarrow(const std::string& section, Frame& f,
                              std::vector<HeaderVariable>* variables) {
    BitReader in(bytes(section), section.size(), f.streamBegin, f.dataEnd);
    Walk w;
    w.version = f.version;
    w.variables = variables;
    if (!header::walkRows(in, Stream::kMain, w) || !w.sawValue || !endsBefore(in, f.dataEnd, 7))
        return Acad::eDwgCorrupt;
    f.valueBegin = w.valueBegin;
    f.valueEnd = w.valueEnd;
    return Acad::eOk;
}

// AC1024+: the main stream ends where the string stream starts, which holds the colours' texts
// and the 14 named ones; the handle stream ends within the fill bits before the data end.
Acad::ErrorStatus checkWide(const std::string& section, Frame& f,
                            std::vector<HeaderVariable>* variables) {
    Walk w;
    w.version = f.version;
    w.variables = variables;
    BitReader main(bytes(section), section.size(), f.streamBegin, f.stringsBegin);
    if (!header::walkRows(main, Stream::kMain, w) || main.left() != 0)
        return Acad::eDwgCorrupt;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> texts;
    Acad::ErrorStatus status = locateWide(section, f, texts);
    if (status != Acad::eOk)
        return status;
    const std::vector<std::string> names = header::stringTextNames(w);
    if (texts.size() != names.size())
        return Acad::eDwgCorrupt;
    for (std::size_t i = 0; variables && i < texts.size(); ++i)
        variables->push_back(HeaderVariable{names[i], texts[i].first, texts[i].second});
    BitReader handles(bytes(section), section.size(), handlesBegin(f), f.dataEnd);
    if (!header::walkRows(handles, Stream::kHandles, w) || !endsBefore(handles, f.dataEnd, 8))
        return Acad::eDwgCorrupt;
    return Acad::eOk;
}

Acad::ErrorStatus check(const std::string& section, const HeaderContext& context, Frame& f,
                        std::vector<HeaderVariable>* variables) {
    Acad::ErrorStatus status = readFrame(section, context, f);
    if (status != Acad::eOk)
        return status;
    return wide(f) ? checkWide(section, f, variables) : checkNarrow(section, f, variables);
}

// The value's form in the section. AC1018: code-page bytes and a terminating 0 (an empty text
// has neither); AC1024+: UTF-16 units, no terminator.
Acad::ErrorStatus storedValue(const std::wstring& value, const HeaderContext& context,
                              bool wideText, std::string& out) {
    out.clear();
    if (value.empty())
        return Acad::eOk;
    TextForm form = context.form;
    form.wide = wideText;
    if (!wideText && (!form.knownPage || !codepage::isAvailable(form.codePage)))
        return Acad::eNotImplementedYet; // no converter for the drawing's code page
    if (!encodeText(value, form, out))
        return Acad::eInvalidInput;
    if (!wideText)
        out += '\0';
    return out.size() / (wideText ? 2 : 1) > 0xFFFF ? Acad::eInvalidInput : Acad::eOk;
}

// The section's bytes around new data: the start sentinel, S, (AC1024+: the field at 0x14),
// the data, the CRC, then the end sentinel and whatever followed it, as they were.
std::string assemble(const std::string& section, const Frame& f, const std::string& data) {
    std::string out = section.substr(0, f.dataBegin);
    put32(bytes(out) + kSizeField, static_cast<std::uint32_t>(data.size()));
    out += data;
    const std::uint16_t crc = headerCrc(bytes(out) + kSizeField, out.size() - kSizeField);
    add16(out, crc);
    out.append(section, static_cast<std::size_t>(f.dataBegin + f.size + 2), std::string::npos);
    return out;
}

Acad::ErrorStatus rewriteNarrow(const std::string& section, const Frame& f,
                                const std::string& value, std::string& out) {
    const std::uint8_t* p = bytes(section);
    BitWriter w;
    if (!w.copy(p, section.size(), f.streamBegin, f.valueBegin) || !w.tv(value) ||
        !w.copy(p, section.size(), f.valueEnd, f.dataEnd) || w.size() % 8 != 0 ||
        w.size() / 8 > 0xFFFFFFFFu)
        return Acad::eInvalidInput;
    out = assemble(section, f, w.bytes());
    return Acad::eOk;
}

// AC1024+: the string stream's length as its footer holds it, then the end bit.
bool writeFooter(BitWriter& w, std::uint64_t length) {
    if (length >= 0x8000) {
        if ((length >> 15) > 0xFFFF)
            return false;
        w.rs(static_cast<std::uint16_t>(length >> 15));
        w.rs(static_cast<std::uint16_t>((length & 0x7FFF) | 0x8000));
    } else {
        w.rs(static_cast<std::uint16_t>(length));
    }
    w.b(kFooterEndBit);
    return true;
}

Acad::ErrorStatus rewriteWide(const std::string& section, const Frame& f, const std::string& value,
                              std::string& out) {
    const std::uint8_t* p = bytes(section);
    const std::size_t n = section.size();
    BitWriter w;
    w.bits(0, 32);                                                   // N, known at the end
    const std::uint64_t stringsBegin = f.stringsBegin - kStreamBase; // where they start in w
    if (!w.copy(p, n, f.streamBegin, f.valueBegin) || !w.tu(value) ||
        !w.copy(p, n, f.valueEnd, f.footerBegin) || !writeFooter(w, w.size() - stringsBegin))
        return Acad::eInvalidInput;
    const std::uint64_t bitSize = w.size();
    if (!w.copy(p, n, handlesBegin(f), f.dataEnd) || w.size() % 8 != 0 ||
        w.size() / 8 > 0xFFFFFFFFu || bitSize > 0xFFFFFFFFu)
        return Acad::eInvalidInput;
    std::string data = w.bytes();
    put32(bytes(data), static_cast<std::uint32_t>(bitSize));
    out = assemble(section, f, data);
    return Acad::eOk;
}

std::wstring decodeValue(const std::string& stored, const HeaderContext& context, bool wideText) {
    TextForm form = context.form;
    form.wide = wideText;
    const std::size_t unit = wideText ? 2 : 1;
    std::size_t units = stored.size() / unit;
    auto nul = [&](std::size_t i) {
        return stored[i * unit] == '\0' && stored[i * unit + unit - 1] == '\0';
    };
    while (units > 0 && nul(units - 1))
        --units; // the terminator AC1018 stores, and any NULs before it
    return decodeText(bytes(stored), units, form);
}

} // namespace

std::uint16_t headerCrc(const std::uint8_t* data, std::size_t n) {
    static const auto table = [] {
        struct Table {
            std::uint16_t v[256];
        } t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
            t.v[i] = static_cast<std::uint16_t>(c);
        }
        return t;
    }();
    unsigned c = 0xC0C1;
    for (std::size_t i = 0; i < n; ++i)
        c = (c >> 8) ^ table.v[(c ^ data[i]) & 0xFF];
    return static_cast<std::uint16_t>(c);
}

Acad::ErrorStatus readHeaderHyperlinkBase(const std::string& section, const HeaderContext& context,
                                          std::wstring& value) {
    Frame f;
    Acad::ErrorStatus status = check(section, context, f, nullptr);
    if (status != Acad::eOk)
        return status;
    BitReader in(bytes(section), section.size(), f.valueBegin, f.valueEnd);
    const std::string stored = wide(f) ? in.tu() : in.tv();
    value = decodeValue(stored, context, wide(f));
    return Acad::eOk;
}

Acad::ErrorStatus checkHeader(const std::string& section, const HeaderContext& context,
                              std::vector<HeaderVariable>* variables) {
    Frame f;
    return check(section, context, f, variables);
}

Acad::ErrorStatus rewriteHeaderHyperlinkBase(const std::string& section,
                                             const HeaderContext& context,
                                             const std::wstring& value, std::string& out) {
    Frame f;
    Acad::ErrorStatus status = check(section, context, f, nullptr);
    if (status != Acad::eOk)
        return status;
    std::string stored;
    if ((status = storedValue(value, context, wide(f), stored)) != Acad::eOk)
        return status;
    return wide(f) ? rewriteWide(section, f, stored, out) : rewriteNarrow(section, f, stored, out);
}

} // namespace dwg
} // namespace minihost
