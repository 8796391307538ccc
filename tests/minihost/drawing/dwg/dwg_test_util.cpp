#include "tests/minihost/drawing/dwg/dwg_test_util.h"

#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/header/dwg_header.h"
#include "minihost/drawing/dwg/container/dwg_lz77.h"
#include "minihost/drawing/dwg/save/dwg_edit.h"
#include "tests/support/chain_text.h"
#include "tests/support/required_program.h"
#include "tests/support/temp_dir.h"

namespace dwg_test {

namespace fs = std::filesystem;
using testing_support::wide;

fs::path sharedBinaryDrawings() {
    return testing_support::sharedDrawings().parent_path() / "dwg";
}

fs::path sharedOlderDrawings() {
    return testing_support::sharedDrawings().parent_path() / "dwg2000";
}

std::vector<Expected> expectedDrawings() {
    static const char* const kFields[minihost::kBuiltInCount] = {
        "Title",    "Subject",     "Author",         "Keywords",
        "Comments", "LastSavedBy", "RevisionNumber", "HyperlinkBase"};
    std::vector<Expected> out;
    for (const fs::path& folder : {sharedBinaryDrawings(), sharedOlderDrawings()}) {
        auto json = nlohmann::json::parse(testing_support::readFile(folder / "expected.json"));
        for (auto& [name, entry] : json.items()) {
            Expected e;
            e.name = name;
            e.path = folder / name;
            e.version = entry["version"].get<std::string>();
            const bool properties = !entry["builtins"].is_null();
            e.hasSummary = properties && e.version >= "AC1018";
            for (int i = 0; properties && i < minihost::kBuiltInCount; ++i)
                e.summary.builtIn[i] = wide(entry["builtins"][kFields[i]].get<std::string>());
            for (auto& pair : entry["custom"])
                e.summary.custom.emplace_back(wide(pair[0].get<std::string>()),
                                              wide(pair[1].get<std::string>()));
            out.push_back(std::move(e));
        }
    }
    return out;
}

Acad::ErrorStatus readMemory(const std::string& bytes, minihost::dwg::BinaryDrawing& out,
                             std::uint64_t* readBytes) {
    std::uint64_t count = 0;
    auto read = [&](std::uint64_t offset, std::size_t n, std::uint8_t* to) {
        if (offset > bytes.size() || n > bytes.size() - offset)
            return Acad::eDwgNeedsRecovery;
        std::memcpy(to, bytes.data() + offset, n);
        count += n;
        return Acad::eOk;
    };
    Acad::ErrorStatus status = minihost::dwg::readBinaryDrawing(read, bytes.size(), out);
    if (readBytes)
        *readBytes = count;
    return status;
}

namespace {

using namespace minihost::dwg;

// A system page of `type` holding `data` in a literal stream, with its header.
std::string systemPage(std::uint32_t type, const std::string& data) {
    std::string stream = literalStream(bytes(data), data.size());
    std::string page(kSystemHeaderSize, '\0');
    put32(bytes(page), type);
    put32(bytes(page) + 4, static_cast<std::uint32_t>(data.size()));
    put32(bytes(page) + 8, static_cast<std::uint32_t>(stream.size()));
    put32(bytes(page) + 12, 2);
    put32(bytes(page) + 16, systemPageSum(bytes(page), bytes(stream), stream.size()));
    return page + stream;
}

// A made drawing as its pages are added: the file's bytes and the page map's entries.
struct MadeFile {
    std::string file, map;

    void addPage(std::int32_t number, const std::string& page) {
        std::size_t size = (page.size() + 0x1F) / 0x20 * 0x20;
        add32(map, static_cast<std::uint32_t>(number));
        add32(map, static_cast<std::uint32_t>(size));
        file += page;
        file.resize(file.size() + size - page.size(), '\0');
    }
};

// Adds the pages of the summary section `section` (numbered from 1) to `made`; returns the
// section's descriptor for the section map.
std::string addSummaryPages(MadeFile& made, const std::string& section, int pages,
                            bool compressed) {
    const std::uint32_t kId = 5;
    // Uncompressed pages hold a capacity each; compressed ones 0x7400 section bytes each.
    std::size_t step =
        compressed ? kCompressedPageSize : (section.size() / pages + 0x80) / 0x80 * 0x80;
    std::string desc(kDescriptorSize, '\0');
    put64(bytes(desc), section.size());
    put32(bytes(desc) + 0x08, static_cast<std::uint32_t>(pages));
    put32(bytes(desc) + 0x0C, static_cast<std::uint32_t>(step));
    put32(bytes(desc) + 0x10, 1);
    put32(bytes(desc) + 0x14, compressed ? 2 : 1);
    put32(bytes(desc) + 0x18, kId);
    desc.replace(0x20, std::strlen(kSummaryName), kSummaryName);
    for (int i = 0; i < pages; ++i) {
        std::string plain = section.substr(std::min(section.size(), i * step), step);
        plain.resize(step, '\0');
        std::string data = compressed ? literalStream(bytes(plain), plain.size()) : plain;
        std::string page(kPageHeaderSize, '\0');
        std::uint8_t* h = bytes(page);
        put32(h, kDataPageType);
        put32(h + 4, kId);
        put32(h + 8, static_cast<std::uint32_t>(data.size()));
        put32(h + 12, static_cast<std::uint32_t>((data.size() + 32 + 0x1F) / 0x20 * 0x20));
        put64(h + 16, i * step);
        sealDataPage(h, bytes(data), data.size());
        maskPageHeader(h, made.file.size());
        add32(desc, static_cast<std::uint32_t>(i + 1));
        add32(desc, static_cast<std::uint32_t>(data.size()));
        std::string offset(8, '\0');
        put64(bytes(offset), i * step);
        desc += offset;
        made.addPage(i + 1, page + data);
    }
    return desc;
}

// The file header of `base` fitted to `file` (`pages` summary pages, then the section map and
// the page map of `mapSize` bytes at `mapAddress`), written at its place and at the end.
void sealFileHeader(std::string& file, const std::string& base, int pages, std::uint64_t mapAddress,
                    std::size_t mapSize) {
    std::uint8_t header[kFileHeaderSize];
    std::memcpy(header, bytes(base) + kPrefixSize, sizeof header);
    maskFileHeader(header);
    for (std::size_t field : {kGapRoot, kGapLargest, kGapSmallest, kGapCount, kHighestGap})
        put32(header + field, 0);
    put32(header + kLastPage, static_cast<std::uint32_t>(pages + 2));
    put64(header + kPageAreaSize, mapAddress + mapSize - kPageArea);
    put64(header + kSecondHeader, file.size());
    put32(header + kPageCount, static_cast<std::uint32_t>(pages + 2));
    put32(header + kPageMapNumber, static_cast<std::uint32_t>(pages + 2));
    put64(header + kPageMapOffset, mapAddress - kPageArea);
    put32(header + kSectionMapNumber, static_cast<std::uint32_t>(pages + 1));
    put32(header + kHighestPage, static_cast<std::uint32_t>(pages + 2));
    put32(header + kHeaderCrc, 0);
    put32(header + kHeaderCrc, crc32(header, sizeof header));
    maskFileHeader(header);
    file.replace(kPrefixSize, kFileHeaderSize, reinterpret_cast<const char*>(header),
                 kFileHeaderSize);
    file.append(reinterpret_cast<const char*>(header), kFileHeaderSize);
}

} // namespace

std::string madeDrawing(const std::string& base, const std::string& section, int pages,
                        bool compressed,
                        const std::function<void(std::string& sectionMap)>& alter) {
    MadeFile made;
    made.file = base.substr(0, kStartSize);
    std::string sections(kSectionMapHeaderSize, '\0');
    if (pages > 0)
        sections += addSummaryPages(made, section, pages, compressed);
    put32(bytes(sections), pages > 0 ? 1 : 0);
    put32(bytes(sections) + 4, 2);
    put32(bytes(sections) + 8, 0x7400);
    put32(bytes(sections) + 16, pages > 0 ? 1 : 0);
    if (alter)
        alter(sections);
    made.addPage(pages + 1, systemPage(kSectionMapType, sections));
    // The page map lists itself: its entry is the last, sized for its page, filler and header.
    const std::uint64_t mapAddress = made.file.size();
    const std::size_t mapBytes = made.map.size() + 8;
    const std::size_t mapSize =
        (kSystemHeaderSize + literalStreamLength(mapBytes) + 20 + kFileHeaderSize + 0x1F) / 0x20 *
        0x20;
    add32(made.map, static_cast<std::uint32_t>(pages + 2));
    add32(made.map, static_cast<std::uint32_t>(mapSize));
    made.file += systemPage(kPageMapType, made.map);
    made.file += std::string("\x3B\x0E\x63\x41\0\0\0\0\0\0\0\0\x02\0\0\0\0\0\0\0", 20);
    sealFileHeader(made.file, base, pages, mapAddress, mapSize);
    return made.file;
}

namespace {
std::string applied(const std::string& drawing, const minihost::dwg::Edit& edit) {
    std::string out;
    for (const minihost::dwg::Piece& p : edit.pieces)
        out += p.copy ? drawing.substr(p.from, p.to - p.from) : p.bytes;
    return out;
}
} // namespace

std::string withoutSummary(const std::string& drawing) {
    using namespace minihost::dwg;
    BinaryDrawing d;
    if (readMemory(drawing, d) != Acad::eOk || !d.container.summary.present)
        return std::string();
    Rewrite rewrite;
    parseSectionMap(d.container.sectionMap, rewrite.sections);
    auto& list = rewrite.sections.sections;
    for (auto s = list.begin(); s != list.end(); ++s)
        if (s->name() == kSummaryName) {
            rewrite.dropped.push_back(s->pages[0].number);
            list.erase(s);
            break;
        }
    Edit edit;
    if (planRewrite(d, drawing.size(), std::move(rewrite), edit) != Acad::eOk)
        return std::string();
    std::string out = applied(drawing, edit);
    put32(bytes(out) + kSummaryAddress, 0);
    return out;
}

std::string withHeaderSection(const std::string& drawing, const std::string& section) {
    using namespace minihost::dwg;
    BinaryDrawing d;
    NewSections sections;
    sections.headerChanged = true;
    sections.header = section;
    Edit edit;
    if (readMemory(drawing, d) != Acad::eOk)
        return std::string();
    sections.summary = d.container.summary.data;
    return planEdit(d, drawing.size(), sections, edit) == Acad::eOk ? applied(drawing, edit)
                                                                    : std::string();
}

bool headerSection(const std::string& drawing, std::string& section,
                   minihost::dwg::HeaderContext& context) {
    using namespace minihost::dwg;
    BinaryDrawing d;
    auto read = [&](std::uint64_t offset, std::size_t n, std::uint8_t* to) {
        if (offset > drawing.size() || n > drawing.size() - offset)
            return Acad::eDwgNeedsRecovery;
        std::memcpy(to, drawing.data() + offset, n);
        return Acad::eOk;
    };
    Section header;
    const std::size_t at = readMemory(drawing, d) == Acad::eOk
                               ? findSection(d.container, kHeaderName)
                               : std::string::npos;
    if (at == std::string::npos ||
        readSection(read, drawing.size(), d.container, at, kMaxHeaderSize, header) != Acad::eOk)
        return false;
    section = std::move(header.data);
    context = {d.version, d.form, d.start[0x12]};
    return true;
}

std::wstring headerHyperlinkBase(const std::string& drawing) {
    std::string section;
    minihost::dwg::HeaderContext context;
    std::wstring value;
    if (!headerSection(drawing, section, context) ||
        minihost::dwg::readHeaderHyperlinkBase(section, context, value) != Acad::eOk)
        return L"<unreadable>";
    return value;
}

namespace {
fs::path independentTool() {
    return sharedBinaryDrawings().parent_path() / "tools" / "dwg-check";
}
} // namespace

bool haveIndependentCheck() {
    return testing_support::requiredInCi(fs::exists(independentTool() / "dwg-check"),
                                         "../shared/tools/dwg-check");
}

nlohmann::json independentCheck(const fs::path& drawing) {
    const fs::path tool = independentTool();
    if (!fs::exists(tool / "dwg-check"))
        return nullptr;
    // The tool's library names are links in its own build; where they arrived as plain files
    // (a copy that does not keep links), run it from a folder that links them again.
    static testing_support::TempDir linked;
    static const bool made = [&] {
        const fs::path dir = linked.path();
        fs::create_directory(dir / "bin");
        fs::create_directory(dir / "lib");
        fs::copy_file(tool / "dwg-check", dir / "dwg-check");
        fs::create_symlink(tool / "bin" / "dwgread", dir / "bin" / "dwgread");
        // A plain file of a few bytes there holds the name of the file its link points to.
        for (const auto& entry : fs::directory_iterator(tool / "lib")) {
            fs::path target = entry.path();
            if (!entry.is_symlink() && fs::file_size(target) < 256) {
                std::string named = testing_support::readFile(target);
                named.erase(named.find_last_not_of("\r\n") + 1);
                target = tool / "lib" / named;
            }
            fs::create_symlink(target, dir / "lib" / entry.path().filename());
        }
        return true;
    }();
    (void)made;
    fs::path out = linked.path() / "out.json";
    std::string command = "'" + (linked.path() / "dwg-check").string() + "' --full '" +
                          drawing.string() + "' >'" + out.string() + "' 2>/dev/null";
    (void)std::system(command.c_str());
    return nlohmann::json::parse(testing_support::readFile(out), nullptr, false);
}

} // namespace dwg_test
