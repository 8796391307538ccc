// The reader of AC1015, AC1014 and AC1012 drawings: damaged and cut copies of a real drawing, the
// header-variable tables against every real one, and the pieces (items, dictionaries, classes)
// on bit streams built here, for the layouts no shared drawing has.
#include <gtest/gtest.h>

#include <cstring>

#include "minihost/drawing/dwg/ac1015/ac1015_header_vars.h"
#include "minihost/drawing/dwg/ac1015/ac1015_object_map.h"
#include "minihost/drawing/dwg/ac1015/ac1015_objects.h"
#include "minihost/drawing/dwg/ac1015/ac1015_record.h"
#include "minihost/drawing/dwg/ac1015/ac1015_sections.h"
#include "minihost/drawing/dwg/dwg_bytes.h"
#include "tests/minihost/drawing/dwg/dwg_test_util.h"
#include "tests/support/ac1015_maker.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace minihost::dwg;
using namespace minihost::dwg::ac1015;
using testing_support::readFile;

ReadBytes memoryBytes(const std::string& bytes, std::uint64_t fileSize) {
    return [&bytes, fileSize](std::uint64_t offset, std::size_t n, std::uint8_t* out) {
        if (offset > fileSize || n > fileSize - offset)
            return Acad::eDwgNeedsRecovery;
        std::memcpy(out, bytes.data() + offset, n);
        return Acad::eOk;
    };
}

Acad::ErrorStatus readCut(const std::string& bytes, std::uint64_t size) {
    BinaryDrawing d;
    return readBinaryDrawing(memoryBytes(bytes, size), size, d);
}

// The data of the section of `kind` that the file header of `drawing` locates.
std::string sectionOf(const std::string& drawing, SectionKind kind) {
    FileHeader file;
    std::string data;
    EXPECT_EQ(readFileHeader(bytes(drawing), 0x100, drawing.size(), file), Acad::eOk);
    EXPECT_EQ(readFramedSection(memoryBytes(drawing, drawing.size()),
                                kind == SectionKind::kHeader ? file.header : file.classes, kind,
                                data),
              Acad::eOk);
    return data;
}

// The byte ranges [begin, end) of `drawing` its read relies on: the file header, the header
// variables, the object map's first block, the dictionary and the record.
std::vector<std::pair<std::uint64_t, std::uint64_t>> pathRanges(const std::string& drawing) {
    FileHeader file;
    EXPECT_EQ(readFileHeader(bytes(drawing), 0x100, drawing.size(), file), Acad::eOk);
    const std::uint8_t* p = bytes(drawing);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges = {
        {0, 0x19 + 9 * get32(p + 0x15) + 18},
        {file.header.address, file.header.address + 0x26 + get32(p + file.header.address + 16)}};
    const std::uint64_t map = file.objectMap.address;
    ranges.emplace_back(map, map + (p[map] << 8 | p[map + 1]) + 2);
    const ReadBytes read = memoryBytes(drawing, drawing.size());
    ObjectMap objects(read, drawing.size(), map, file.objectMap.size);
    const std::string variables = sectionOf(drawing, SectionKind::kHeader);
    BitReader in(bytes(variables), variables.size());
    HeaderWalk walk;
    EXPECT_TRUE(walkHeader(in, Layout::kAC1015, walk));
    std::uint64_t handle = walk.namedObjects.value;
    for (int object = 0; object < 2; ++object) {
        std::uint64_t at = 0;
        std::string data;
        ObjectStart start;
        bool found = false;
        EXPECT_EQ(objects.find(handle, at), Acad::eOk);
        EXPECT_EQ(readObject(read, drawing.size(), at, data), Acad::eOk);
        ranges.emplace_back(at, at + 2 + data.size() + 2); // sizes below 32 KiB take one word
        EXPECT_EQ(readObjectStart(data, Layout::kAC1015, handle, start), Acad::eOk);
        if (object == 0) {
            EXPECT_EQ(findDictionaryEntry(data, Layout::kAC1015, start, "DWGPROPS", found, handle),
                      Acad::eOk);
        }
    }
    return ranges;
}

TEST(Ac1015Read, AnyFlippedByteOnThePathToTheRecordIsAnError) {
    std::string drawing = readFile(dwg_test::sharedOlderDrawings() / "r2000_props_full.dwg");
    const auto ranges = pathRanges(drawing);
    ASSERT_EQ(ranges.size(), 5u);
    for (auto [begin, end] : ranges)
        for (std::uint64_t at = begin; at < end; ++at)
            for (unsigned char mask : {0x01, 0x80}) {
                drawing[at] = static_cast<char>(drawing[at] ^ mask);
                const Acad::ErrorStatus status = readCut(drawing, drawing.size());
                drawing[at] = static_cast<char>(drawing[at] ^ mask);
                ASSERT_NE(status, Acad::eOk) << "byte " << at;
            }
}

TEST(Ac1015Read, ACutDrawingIsAnErrorWhereverItEnds) {
    for (const char* name : {"r2000_props_full.dwg", "r2000_props_c.dwg"}) {
        const std::string drawing = readFile(dwg_test::sharedOlderDrawings() / name);
        ASSERT_EQ(readCut(drawing, drawing.size()), Acad::eOk);
        for (std::uint64_t size = 0; size < drawing.size(); size += size < 0x200 ? 1 : 61) {
            const Acad::ErrorStatus status = readCut(drawing, size);
            ASSERT_TRUE(status == Acad::eDwgNeedsRecovery || status == Acad::eNotADrawing)
                << name << " cut at " << size << " status " << status;
        }
        for (std::uint64_t size = drawing.size() - 300; size < drawing.size(); ++size)
            ASSERT_EQ(readCut(drawing, size), Acad::eDwgNeedsRecovery) << name << " " << size;
    }
}

// Walked on to its last variable, the table of `layout` ends within the last byte of the
// header of `drawing`, and finds the named-object dictionary's handle in it.
void expectHeaderWalkEndsAtItsEnd(const std::string& drawing, Layout layout) {
    const std::string variables = sectionOf(drawing, SectionKind::kHeader);
    BitReader in(bytes(variables), variables.size());
    HeaderWalk walk;
    ASSERT_TRUE(walkHeader(in, layout, walk, true));
    EXPECT_LE(walk.tailEnd, variables.size() * 8);
    EXPECT_GE(walk.tailEnd + 8, variables.size() * 8);
    EXPECT_EQ(walk.namedObjects.code, 3);
}

TEST(Ac1015Read, TheHeaderTablesEndWhereEveryRealHeaderEnds) {
    for (const auto& e : dwg_test::expectedDrawings())
        if (e.version < "AC1018") {
            SCOPED_TRACE(e.name);
            expectHeaderWalkEndsAtItsEnd(readFile(e.path), Layout::kAC1015);
        }
}

TEST(Ac1015Read, ItemsAreReadAtEveryStartBit) {
    const std::string items = ac1015_maker::itemBytes({
        {1, "DWGPROPS COOKIE"},
        {6, "c"},
        {300, "k=v"},
        {40, std::string(8, '\x01')},  // a real
        {10, std::string(24, '\x02')}, // a point
        {70, std::string("\x07\x00", 2)},
        {90, std::string("\x09\x00\x00\x00", 4)},
        {280, "\x03"},
        {310, "\x02xy"},             // bytes
        {5, std::string(8, '\x04')}, // a handle
    });
    struct Case {
        std::string items;
        std::uint32_t m;
        Acad::ErrorStatus status;
    } cases[] = {
        {items, static_cast<std::uint32_t>(items.size()), Acad::eOk},
        {items + "\x67\x00", static_cast<std::uint32_t>(items.size() + 2),
         Acad::eDwgCorrupt}, // code 103: not known
        {items, static_cast<std::uint32_t>(items.size() - 1), Acad::eDwgCorrupt}, // cut short
        {items, static_cast<std::uint32_t>(items.size() + 1), Acad::eDwgCorrupt}, // past the data
    };
    for (const Case& c : cases)
        for (unsigned offset = 0; offset < 8; ++offset) {
            SCOPED_TRACE(testing::Message() << "m " << c.m << " offset " << offset);
            BitWriter w;
            w.bits(0x5A, offset);
            for (char byte : c.items)
                w.rc(static_cast<std::uint8_t>(byte));
            BitReader in(bytes(w.bytes()), w.bytes().size(), offset, w.size());
            std::vector<TextItem> texts;
            ASSERT_EQ(readItems(in, c.m, texts), c.status);
            if (c.status != Acad::eOk)
                continue;
            EXPECT_EQ(in.position(), offset + 8 * items.size());
            ASSERT_EQ(texts.size(), 3u);
            EXPECT_EQ(texts[0].bytes, "DWGPROPS COOKIE");
            EXPECT_EQ(texts[2].code, 300);
            EXPECT_EQ(texts[2].bytes, "k=v");
        }
}

TEST(Ac1015Read, TheRecordsTextsGiveTheProperties) {
    const TextForm form = textForm("AC1015", 30);
    std::vector<TextItem> texts = {{1, "DWGPROPS COOKIE"}, {2, "T"},      {6, "comments"},
                                   {7, "keywords"},        {300, "="},    {301, ""},
                                   {302, "a=b=c"},         {303, "bare"}, {304, "\\U+00E9="},
                                   {1, "https://x/"},      {1, "third"},  {999, "other"}};
    minihost::SummaryData s;
    propertiesFromItems(texts, form, s);
    EXPECT_EQ(s.builtIn[minihost::kTitle], L"T");
    EXPECT_EQ(s.builtIn[minihost::kComments], L"comments");
    EXPECT_EQ(s.builtIn[minihost::kKeywords], L"keywords");
    EXPECT_EQ(s.builtIn[minihost::kHyperlinkBase], L"https://x/");
    const decltype(s.custom) custom = {{L"a", L"b=c"}, {L"bare", L""}, {L"\u00E9", L""}};
    EXPECT_EQ(s.custom, custom);
    texts[0].bytes = "DWGPROPS";
    minihost::SummaryData none;
    propertiesFromItems(texts, form, none);
    EXPECT_EQ(none.builtIn[minihost::kTitle], L"");
    EXPECT_TRUE(none.custom.empty());
}

TEST(Ac1015Read, DictionariesOfEveryLayout) {
    const std::vector<std::string> names = {"ACAD_GROUP", "DWGPROPS"};
    const std::vector<std::pair<unsigned, std::uint64_t>> absolute = {{2, 0x0D}, {2, 0x1F}};
    struct Case {
        const char* what;
        Layout layout;
        std::uint16_t type;
        bool ownerByte;
        std::vector<std::string> names;
        std::vector<std::pair<unsigned, std::uint64_t>> refs;
        Acad::ErrorStatus status;
        bool found;
        std::uint64_t entry;
    } cases[] = {
        {"AC1015", Layout::kAC1015, 42, true, names, absolute, Acad::eOk, true, 0x1F},
        {"AC1015 without owner byte", Layout::kAC1015, 42, false, names, absolute, Acad::eOk, true,
         0x1F},
        {"AC1014", Layout::kAC1014, 42, true, names, absolute, Acad::eOk, true, 0x1F},
        {"AC1012", Layout::kAC1014, 42, false, names, absolute, Acad::eOk, true, 0x1F},
        {"stored terminator",
         Layout::kAC1015,
         42,
         true,
         {"A", std::string("DWGPROPS\0", 9)},
         absolute,
         Acad::eOk,
         true,
         0x1F},
        {"relative", Layout::kAC1015, 42, true, names, {{2, 1}, {0xA, 3}}, Acad::eOk, true, 0x0F},
        {"own + 1", Layout::kAC1014, 42, true, names, {{2, 1}, {6, 0}}, Acad::eOk, true, 0x0D},
        {"no entry", Layout::kAC1015, 42, true, {"ACAD_GROUP"}, {{2, 1}}, Acad::eOk, false, 0},
        {"another type", Layout::kAC1015, 43, true, names, absolute, Acad::eDwgCorrupt, false, 0},
        {"a code naming nothing",
         Layout::kAC1015,
         42,
         true,
         names,
         {{2, 1}, {7, 1}},
         Acad::eDwgCorrupt,
         false,
         0},
        {"handles missing",
         Layout::kAC1015,
         42,
         true,
         names,
         {{2, 1}},
         Acad::eDwgCorrupt,
         false,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string data = ac1015_maker::dictionary(c.layout == Layout::kAC1015, c.type,
                                                          c.ownerByte, c.names, c.refs);
        ObjectStart start;
        ASSERT_EQ(readObjectStart(data, c.layout, 0x0D, start), Acad::eDwgCorrupt);
        ASSERT_EQ(readObjectStart(data, c.layout, 0x0C, start), Acad::eOk);
        EXPECT_EQ(start.reactors, 1u);
        bool found = false;
        std::uint64_t entry = 0;
        EXPECT_EQ(findDictionaryEntry(data, c.layout, start, "DWGPROPS", found, entry), c.status);
        EXPECT_EQ(found, c.found);
        if (c.found) {
            EXPECT_EQ(entry, c.entry);
        }
    }
}

// Drawings of the layout AC1014 and AC1012 share, made here: the record found through a class
// number or type 79, with or without the dictionary's hard-owner byte; none without the entry.
TEST(Ac1015Read, MadeDrawingsOfTheOlderLayout) {
    const std::vector<std::string> texts = {"T", "S", "A", "K", "C", "L", "R", "H"};
    const auto items = ac1015_maker::recordItems(texts, {"Client=ACME", "Lot=14 "});
    minihost::SummaryData all;
    for (int i = 0; i < minihost::kBuiltInCount; ++i)
        all.builtIn[i] = std::wstring(texts[i].begin(), texts[i].end());
    all.custom = {{L"Client", L"ACME"}, {L"Lot", L"14 "}};
    struct Case {
        const char* version;
        bool ownerByte;
        std::uint16_t type, recordClass;
        bool listed;
        Acad::ErrorStatus status;
        bool properties;
    } cases[] = {
        {"AC1014", true, 521, 521, true, Acad::eOk, true},
        {"AC1012", false, 528, 528, true, Acad::eOk, true},
        {"AC1014", true, 79, 521, true, Acad::eOk, true},
        {"AC1014", true, 521, 521, false, Acad::eOk, false},
        {"AC1014", true, 500, 521, true, Acad::eDwgCorrupt, false}, // another class's number
        {"AC1014", true, 43, 521, true, Acad::eDwgCorrupt, false},
    };
    expectHeaderWalkEndsAtItsEnd(ac1015_maker::make(items, {}), Layout::kAC1014);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.version << " type " << c.type);
        ac1015_maker::Options options;
        options.version = c.version;
        options.ownerByte = c.ownerByte;
        options.recordType = c.type;
        options.recordClass = c.recordClass;
        options.listed = c.listed;
        BinaryDrawing d;
        ASSERT_EQ(dwg_test::readMemory(ac1015_maker::make(items, options), d), c.status);
        if (c.status != Acad::eOk)
            continue;
        EXPECT_EQ(d.version, c.version);
        const minihost::SummaryData want = c.properties ? all : minihost::SummaryData();
        for (int i = 0; i < minihost::kBuiltInCount; ++i)
            EXPECT_EQ(d.record.data.builtIn[i], want.builtIn[i]) << i;
        EXPECT_EQ(d.record.data.custom, want.custom);
    }
}

// Every byte of a made drawing but the map's closing block (the lookups find both objects in
// the block before it) is on the path: any one flipped, or the file cut, is an error.
TEST(Ac1015Read, AnyDamageToAMadeDrawingIsAnError) {
    std::string drawing = ac1015_maker::make(
        ac1015_maker::recordItems({"T", "", "", "", "", "", "", ""}, {}), ac1015_maker::Options());
    ASSERT_EQ(readCut(drawing, drawing.size()), Acad::eOk);
    for (std::size_t at = 0; at < drawing.size(); ++at) {
        for (unsigned char mask : {0x01, 0x10, 0x80}) {
            drawing[at] = static_cast<char>(drawing[at] ^ mask);
            const Acad::ErrorStatus status = readCut(drawing, drawing.size());
            drawing[at] = static_cast<char>(drawing[at] ^ mask);
            if (at < drawing.size() - 4) {
                ASSERT_NE(status, Acad::eOk) << "byte " << at << " mask " << int(mask);
            }
        }
        ASSERT_NE(readCut(drawing, at), Acad::eOk) << "cut at " << at;
    }
}

// The classes of every real drawing read whole, and name their classes by number.
TEST(Ac1015Read, ClassesAreNamedByNumber) {
    for (const auto& e : dwg_test::expectedDrawings()) {
        if (e.version >= "AC1018")
            continue;
        SCOPED_TRACE(e.name);
        const std::string classes = sectionOf(readFile(e.path), SectionKind::kClasses);
        EXPECT_TRUE(isClassNamed(classes, 500, "ACDBDICTIONARYWDFLT"));
        EXPECT_TRUE(isClassNamed(classes, 502, "LAYOUT"));
        EXPECT_FALSE(isClassNamed(classes, 502, "XRECORD"));
        EXPECT_FALSE(isClassNamed(classes.substr(0, 10), 502, "LAYOUT")); // cut before it
    }
}

} // namespace
