// Fuzz target: the binary drawing reader on arbitrary bytes, of every version it reads (AC1021
// included: .ci/run seeds it with drawings made by ac1021_seeds). Their first 4 KiB also go to
// the pieces that check values otherwise keep out of reach: the AC1021 decoder as a stream,
// and AC1015's header tables, object fields, dictionary and record items.
//
// Whatever the bytes, reading gives a status and never crashes, hangs or allocates in
// proportion to a size field. What it accepts must build its summary section again: the same
// properties give the same bytes, and a section built with changed properties parses back to
// exactly those properties.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "minihost/drawing/dwg/ac1015/ac1015_header_vars.h"
#include "minihost/drawing/dwg/ac1015/ac1015_objects.h"
#include "minihost/drawing/dwg/ac1021/ac1021_lz77.h"
#include "minihost/drawing/dwg/dwg_read.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// The bytes as AC1015's pieces would see them, in both layouts.
void olderPieces(const std::uint8_t* data, std::size_t size) {
    using namespace minihost::dwg;
    using namespace minihost::dwg::ac1015;
    const std::string piece(reinterpret_cast<const char*>(data), size);
    for (Layout layout : {Layout::kAC1015, Layout::kAC1014}) {
        BitReader walk(data, size);
        HeaderWalk header;
        walkHeader(walk, layout, header, true);
        // The object's own handle, so that its start is taken and its type's data read.
        BitReader first(data, size);
        first.bs();
        if (layout == Layout::kAC1015)
            first.rl();
        ObjectStart start;
        bool found = false;
        std::uint64_t entry = 0;
        std::vector<TextItem> texts;
        if (readObjectStart(piece, layout, first.h().value, start) != Acad::eOk)
            continue;
        findDictionaryEntry(piece, layout, start, "DWGPROPS", found, entry);
        if (readRecordItems(piece, layout, start, texts) == Acad::eOk) {
            minihost::SummaryData properties;
            propertiesFromItems(texts, textForm("AC1015", 30), properties);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace minihost::dwg;
    auto read = [&](std::uint64_t offset, std::size_t n, std::uint8_t* out) {
        if (offset > size || n > size - offset)
            return Acad::eDwgNeedsRecovery;
        if (n > 0)
            std::memcpy(out, data + offset, n);
        return Acad::eOk;
    };
    constexpr std::size_t kStreamLimit = 1 << 16;
    std::string plain;
    if (ac1021::decompress(data, std::min<std::size_t>(size, 4096), kStreamLimit, plain) &&
        plain.size() > kStreamLimit)
        fail("the decoder wrote past its limit");
    olderPieces(data, std::min<std::size_t>(size, 4096));
    BinaryDrawing drawing;
    if (readBinaryDrawing(read, size, drawing) != Acad::eOk)
        return 0;
    const SummaryRecord& record = drawing.record;
    if (!drawing.container.summary.present || drawing.container.summary.data.empty())
        return 0;
    std::string same;
    if (buildSummary(record, record.data, drawing.form, same) != Acad::eOk)
        fail("the properties as read do not build again");
    if (same != drawing.container.summary.data)
        fail("unchanged properties build other bytes");
    minihost::SummaryData changed = record.data;
    changed.builtIn[minihost::kTitle] += L"x";
    changed.custom.emplace_back(L"Fuzz", L"\U0001F600 \\U+0041 \\M+1955C"); // escaped in 8-bit text
    std::string built;
    if (buildSummary(record, changed, drawing.form, built) != Acad::eOk)
        return 0; // a code page that is unknown or that iconv lacks, a text too long
    SummaryRecord back;
    if (parseSummary(built, drawing.form, back) != Acad::eOk)
        fail("a built summary does not parse");
    for (int i = 0; i < minihost::kBuiltInCount; ++i)
        if (back.data.builtIn[i] != changed.builtIn[i])
            fail("a built summary parses with other built-in texts");
    if (back.data.custom != changed.custom)
        fail("a built summary parses with other custom pairs");
    return 0;
}
