// The header-variables section: its bit codes at their boundaries, HYPERLINKBASE read and
// rewritten in chains on every shared drawing of AC1018 to AC1032 (every other variable's bits
// kept, the way back giving the original bytes), and damaged sections refused.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "tests/minihost/drawing/dwg/dwg_test_util.h"
#include "minihost/drawing/dwg/header/dwg_bits.h"
#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/header/dwg_header.h"
#include "minihost/drawing/dwg/header/dwg_header_walk.h"
#include "tests/support/chain_text.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace minihost::dwg;
using testing_support::readFile;
using testing_support::utf8;

// Bytes from a text of '0' and '1' (anything else ignored), the first bit the most significant.
std::string bitsOf(const char* text) {
    BitWriter w;
    for (const char* p = text; *p; ++p)
        if (*p == '0' || *p == '1')
            w.b(*p == '1');
    return w.bytes();
}

TEST(DwgBits, ShortsTakeTheirShortestCodeAndReadBackAtAnyBitOffset) {
    const struct {
        std::uint16_t value;
        unsigned bits;
    } kCases[] = {{0, 2}, {1, 10}, {255, 10}, {256, 2}, {257, 18}, {65535, 18}};
    for (unsigned offset : {0u, 3u})
        for (const auto& c : kCases) {
            SCOPED_TRACE(c.value);
            BitWriter w;
            w.bits(0x5, offset);
            w.bs(c.value);
            w.rs(0xBEEF);
            BitReader in(bytes(w.bytes()), w.bytes().size());
            in.bits(offset);
            EXPECT_EQ(in.bs(), c.value);
            EXPECT_EQ(in.position(), offset + c.bits);
            EXPECT_EQ(in.rs(), 0xBEEF);
            EXPECT_TRUE(in.ok());
        }
}

TEST(DwgBits, TextsOfBoundaryLengthsAndCopiedBitsReadBackAtOddOffsets) {
    for (bool wideText : {false, true})
        for (std::size_t units : {0u, 1u, 255u, 256u}) {
            SCOPED_TRACE(units);
            std::string stored;
            for (std::size_t i = 0; i < units * (wideText ? 2 : 1); ++i)
                stored += static_cast<char>(i * 7 + 1);
            BitWriter w;
            w.b(1);
            ASSERT_TRUE(wideText ? w.tu(stored) : w.tv(stored));
            w.b(1);
            BitWriter copied; // the same bits, moved by 5
            copied.bits(0, 5);
            ASSERT_TRUE(copied.copy(bytes(w.bytes()), w.bytes().size(), 0, w.size()));
            ASSERT_EQ(copied.size(), w.size() + 5);
            for (unsigned shift : {0u, 5u}) {
                const std::string& data = shift ? copied.bytes() : w.bytes();
                BitReader in(bytes(data), data.size(), shift, w.size() + shift);
                EXPECT_EQ(in.b(), 1u);
                EXPECT_EQ(wideText ? in.tu() : in.tv(), stored);
                EXPECT_EQ(in.b(), 1u);
                EXPECT_TRUE(in.ok() && in.left() == 0);
            }
        }
}

TEST(DwgBits, CodesReadFromKnownBits) {
    const struct {
        const char* bits;
        std::function<double(BitReader&)> read;
        double value;
    } kCases[] = {
        {"00 01111000 01010110 00110100 00010010", [](BitReader& in) { return in.bl(); },
         0x12345678},
        {"01 00000101", [](BitReader& in) { return in.bl(); }, 5},
        {"10", [](BitReader& in) { return in.bl(); }, 0},
        {"00 00110100 00010010", [](BitReader& in) { return in.bs(); }, 0x1234},
        {"01", [](BitReader& in) { return in.bd(); }, 1.0},
        {"10", [](BitReader& in) { return in.bd(); }, 0.0},
        {"00 00000000 00000000 00000000 00000000 00000000 00000000 00000100 01000000",
         [](BitReader& in) { return in.bd(); }, 2.5},
        {"010 00110100 00010010", [](BitReader& in) { return double(in.bll()); }, 0x1234},
        {"000", [](BitReader& in) { return double(in.bll()); }, 0},
        {"0101 0010 00010010 00110100",
         [](BitReader& in) {
             Handle h = in.h();
             return h.code * 65536.0 + double(h.value);
         },
         5 * 65536.0 + 0x1234},
        {"10 01 00000011 00000101 01 00000010 01101101 00000000",
         [](BitReader& in) { // index 0, word 3, flags 5: the name follows in place
             Color c = in.cmc(true);
             return c.word * 100.0 + c.flags * 10.0 + double(c.name == std::string("m\0", 2));
         },
         351},
        {"01 00000011 10", [](BitReader& in) { return double(in.timebll().days); }, 3},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.bits);
        const std::string data = bitsOf(c.bits);
        BitReader in(bytes(data), data.size());
        EXPECT_EQ(c.read(in), c.value);
        EXPECT_TRUE(in.ok());
        EXPECT_LT(in.left(), 8u); // only the last byte's padding is left
    }
}

TEST(DwgBits, ReadsPastTheEndAndInvalidCodesFailAndStayFailed) {
    const struct {
        const char* bits;
        std::function<void(BitReader&)> read;
    } kCases[] = {
        {"11", [](BitReader& in) { in.bl(); }},
        {"11", [](BitReader& in) { in.bd(); }},
        {"0000 1001", [](BitReader& in) { in.h(); }},             // a handle of 9 bytes
        {"00110100", [](BitReader& in) { in.rs(); }},             // one byte of two
        {"01 00000010 01000001", [](BitReader& in) { in.tu(); }}, // half of one unit
        {"01 00000100 01000001", [](BitReader& in) { in.tv(); }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.bits);
        const std::string data = bitsOf(c.bits);
        BitReader in(bytes(data), data.size());
        c.read(in);
        EXPECT_FALSE(in.ok());
        EXPECT_EQ(in.rc(), 0);
        EXPECT_EQ(in.tv(), "");
        EXPECT_FALSE(in.ok());
    }
}

// The header section of a shared drawing and what reading it needs.
struct SharedHeader {
    std::string name;
    HeaderContext context;
    std::string section;
    std::wstring summaryHyperlinkBase;
};

std::vector<SharedHeader> sharedHeaders() {
    std::vector<SharedHeader> out;
    for (const auto& e : dwg_test::expectedDrawings()) {
        if (!e.hasSummary)
            continue;
        std::string section;
        HeaderContext context;
        EXPECT_TRUE(dwg_test::headerSection(readFile(e.path),
                                            section, context))
            << e.name;
        out.push_back({e.name, context, section, e.summary.builtIn[minihost::kHyperlinkBase]});
    }
    return out;
}

// Each variable's bits as '0' and '1', by name, but HYPERLINKBASE's.
std::map<std::string, std::string> otherVariables(const SharedHeader& h,
                                                  const std::string& section) {
    std::vector<HeaderVariable> variables;
    EXPECT_EQ(checkHeader(section, h.context, &variables), Acad::eOk);
    std::map<std::string, std::string> out;
    for (const HeaderVariable& v : variables) {
        BitReader in(bytes(section), section.size(), v.begin, v.end);
        std::string& bits = out[v.name];
        while (in.left() > 0)
            bits += in.b() ? '1' : '0';
    }
    EXPECT_EQ(out.size(), variables.size()) << "a name occurs twice";
    out.erase("HYPERLINKBASE");
    return out;
}

// The values a chain of rewrites sets, each on the one before, for a version.
std::vector<std::wstring> chainOfValues(bool wideText) {
    auto repeat = [](const std::wstring& piece, std::size_t n) {
        std::wstring s;
        while (s.size() < n)
            s += piece;
        return s.substr(0, n);
    };
    std::vector<std::wstring> values = {
        L"http://x.example/a/b/c/d/e/f/g", // longer
        L"http://y",                       // shorter
        L"http://z",                       // the same length
        L"https://site.example/projects/", // longer
        // about 300 characters the drawing's text form holds (the emoji is two units)
        wideText ? repeat(L"Ωμέγα 中文 \U0001F600 ", 300) : repeat(L"café Ærø ü ", 300),
        // a count of 256 (BS code 3): AC1018 counts the terminating 0
        std::wstring(wideText ? 256 : 255, L'h'),
    };
    if (wideText) // a string stream of 0x8000 bits or more: the footer's two-RS form
        values.push_back(repeat(L"Ж", 3000));
    values.push_back(L""); // empty
    return values;
}

// Whether a section of AC1024 or later stores its string stream's length in two RS.
bool twoShortFooter(const std::string& section) {
    const std::uint64_t endBit = 0xC0 + get32(bytes(section) + 0x18) - 1;
    BitReader in(bytes(section), section.size(), endBit - 16, endBit);
    return (in.rs() & 0x8000) != 0;
}

TEST(DwgHeader, EverySharedDrawingChecksAndHoldsTheSummarysHyperlinkBase) {
    const auto headers = sharedHeaders();
    ASSERT_GE(headers.size(), 7u);
    const std::map<std::string, std::size_t> kVariables = {
        {"AC1018", 246}, {"AC1024", 296}, {"AC1027", 298}, {"AC1032", 298}};
    for (const auto& h : headers) {
        SCOPED_TRACE(h.name);
        std::vector<HeaderVariable> variables;
        ASSERT_EQ(checkHeader(h.section, h.context, &variables), Acad::eOk);
        EXPECT_EQ(variables.size(), kVariables.at(h.context.version)); // no CPSNID in these
        std::wstring value;
        ASSERT_EQ(readHeaderHyperlinkBase(h.section, h.context, value), Acad::eOk);
        EXPECT_EQ(utf8(value), utf8(h.summaryHyperlinkBase));
    }
}

TEST(DwgHeader, ChainedRewritesChangeOnlyHyperlinkBaseAndGoBackToTheOriginalBytes) {
    for (const auto& h : sharedHeaders()) {
        SCOPED_TRACE(h.name);
        const bool wideText = h.context.version != "AC1018";
        std::wstring original;
        ASSERT_EQ(readHeaderHyperlinkBase(h.section, h.context, original), Acad::eOk);
        const auto others = otherVariables(h, h.section);
        std::string section = h.section;
        for (const std::wstring& value : chainOfValues(wideText)) {
            SCOPED_TRACE(value.size());
            std::string next;
            ASSERT_EQ(rewriteHeaderHyperlinkBase(section, h.context, value, next), Acad::eOk);
            std::wstring back;
            ASSERT_EQ(readHeaderHyperlinkBase(next, h.context, back), Acad::eOk); // CRC included
            EXPECT_EQ(utf8(back), utf8(value));
            EXPECT_TRUE(otherVariables(h, next) == others);
            if (value.size() == 3000) {
                EXPECT_TRUE(twoShortFooter(next));
            }
            std::string restored;
            ASSERT_EQ(rewriteHeaderHyperlinkBase(next, h.context, original, restored), Acad::eOk);
            EXPECT_TRUE(restored == h.section);
            section = next;
        }
    }
}

TEST(DwgHeader, BytesAfterTheEndSentinelAreKept) {
    std::string tail; // as some AC1032 drawings have: 743 bytes up to the declared size
    for (int i = 0; i < 743; ++i)
        tail += static_cast<char>(i * 131 + 7);
    for (const auto& h : sharedHeaders()) {
        SCOPED_TRACE(h.name);
        const std::string section = h.section + tail;
        std::wstring original;
        ASSERT_EQ(readHeaderHyperlinkBase(section, h.context, original), Acad::eOk);
        std::string next, back;
        ASSERT_EQ(rewriteHeaderHyperlinkBase(section, h.context, L"http://t", next), Acad::eOk);
        EXPECT_EQ(next.substr(next.size() - tail.size()), tail);
        ASSERT_EQ(rewriteHeaderHyperlinkBase(next, h.context, original, back), Acad::eOk);
        EXPECT_TRUE(back == section);
    }
}

TEST(DwgHeader, ValuesThatCannotBeStoredAreRefused) {
    for (const auto& h : sharedHeaders()) {
        SCOPED_TRACE(h.name);
        const bool wideText = h.context.version != "AC1018";
        const std::wstring kValues[] = {
            std::wstring(1, static_cast<wchar_t>(0xD800)),   // a lone surrogate
            std::wstring(1, static_cast<wchar_t>(0x110000)), // beyond Unicode
            std::wstring(wideText ? 65536 : 65535, L'a'),    // a count beyond 65 535
        };
        std::string out;
        for (const std::wstring& value : kValues)
            EXPECT_EQ(rewriteHeaderHyperlinkBase(h.section, h.context, value, out),
                      Acad::eInvalidInput);
        HeaderContext unknown = h.context;
        unknown.form.knownPage = false;
        EXPECT_EQ(rewriteHeaderHyperlinkBase(h.section, unknown, L"x", out),
                  wideText ? Acad::eOk : Acad::eNotImplementedYet);
    }
}

// A string stream of nothing but empty texts (two bits each) stops being read at the most
// texts a header holds, whatever its length: memory never grows with such a stream.
TEST(DwgHeader, AStringStreamOfEndlessEmptyTextsIsRefusedEarly) {
    const std::string stream(1 << 16, '\xAA'); // code 2, code 2, ...: 262 144 empty texts
    BitReader in(bytes(stream), stream.size());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> texts;
    EXPECT_FALSE(header::walkStrings(in, texts));
    EXPECT_LE(texts.size(), header::kMaxStringTexts);
}

TEST(DwgHeader, DamagedSectionsAreRefused) {
    auto crcAt = [](const std::string& s, bool wideText) -> std::size_t {
        return (wideText ? 0x18 : 0x14) + get32(bytes(s) + 0x10);
    };
    const struct {
        const char* what;
        std::function<void(std::string&, bool)> damage;
        Acad::ErrorStatus status;
        bool readToo; // false: only the full check can see it
    } kCases[] = {
        {"a flipped CRC byte", [&](std::string& s, bool w) { s.at(crcAt(s, w)) ^= 0x40; },
         Acad::eDwgCRCError, true},
        {"a flipped data bit", [](std::string& s, bool) { s.at(0x30) ^= 0x08; }, Acad::eDwgCRCError,
         true},
        {"a broken start sentinel", [](std::string& s, bool) { s.at(3) ^= 1; }, Acad::eDwgCorrupt,
         true},
        {"a broken end sentinel", [&](std::string& s, bool w) { s.at(crcAt(s, w) + 2 + 15) ^= 1; },
         Acad::eDwgCorrupt, true},
        {"a size field too large",
         [](std::string& s, bool) { s.replace(0x10, 4, "\xF0\xFF\xFF\xFF"); }, Acad::eDwgCorrupt,
         true},
        {"cut short", [](std::string& s, bool) { s.resize(s.size() / 2); }, Acad::eDwgCorrupt,
         true},
        {"one more data byte, the CRC recomputed",
         [&](std::string& s, bool w) {
             // The structure now ends a byte too early; the sizes and CRC agree with it.
             std::string size(4, '\0');
             put32(bytes(size), get32(bytes(s) + 0x10) + 1);
             s.insert(crcAt(s, w), 1, '\0');
             s.replace(0x10, 4, size);
             std::string crc(2, '\0');
             put16(bytes(crc), headerCrc(bytes(s) + 0x10, crcAt(s, w) - 0x10));
             s.replace(crcAt(s, w), 2, crc);
         },
         Acad::eDwgCorrupt, false},
    };
    for (const auto& h : sharedHeaders()) {
        const bool wideText = h.context.version != "AC1018";
        for (const auto& c : kCases) {
            SCOPED_TRACE(h.name + ": " + c.what);
            std::string damaged = h.section;
            c.damage(damaged, wideText);
            std::wstring value;
            std::string out;
            EXPECT_EQ(checkHeader(damaged, h.context), c.status);
            EXPECT_EQ(rewriteHeaderHyperlinkBase(damaged, h.context, L"x", out), c.status);
            if (c.readToo) {
                EXPECT_EQ(readHeaderHyperlinkBase(damaged, h.context, value), c.status);
            }
        }
        // Cut at every length: refused until the end sentinel is whole, and never a crash.
        const std::size_t whole = (wideText ? 0x2A : 0x26) + get32(bytes(h.section) + 0x10);
        for (std::size_t n = 0; n < whole; ++n)
            ASSERT_NE(checkHeader(h.section.substr(0, n), h.context), Acad::eOk) << n;
        if (h.context.version == "AC1024" || h.context.version == "AC1027") {
            HeaderContext older = h.context;
            older.byte12 = 3;
            std::wstring value;
            EXPECT_EQ(readHeaderHyperlinkBase(h.section, older, value), Acad::eNotImplementedYet);
        }
    }
}

} // namespace
