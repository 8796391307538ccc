#include "minihost/drawing/dwg/save/dwg_edit.h"

#include <cstring>

#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/container/dwg_lz77.h"

namespace minihost {
namespace dwg {

namespace {

constexpr std::uint64_t kSummaryAlign = 0x80;

// The summary at the same size, or within its page with the section map rewritten where it is;
// false when neither applies and the maps must move.
bool editWithinPage(const BinaryDrawing& drawing, std::uint64_t fileSize,
                    const std::string& summary, Edit& out) {
    const Container& c = drawing.container;
    const SectionPage& page = c.summary.pages[0];
    const std::uint64_t pageEnd = page.address + kPageHeaderSize + page.dataSize;
    const std::string pageBytes = dataPage(page.header, summary, page.dataSize, page.address);
    std::string sectionMap = c.sectionMap;
    std::uint8_t* desc = bytes(sectionMap) + c.summary.descriptor;
    std::vector<Piece>& pieces = out.pieces;
    auto copy = [&](std::uint64_t from, std::uint64_t to) {
        if (to > from)
            pieces.push_back({true, from, to, std::string()});
    };
    auto add = [&](std::string b) { pieces.push_back({false, 0, 0, std::move(b)}); };

    if (summary.size() == get64(desc)) { // the page alone
        copy(0, kSummaryAddress);
        add(summaryAddressField(page.address));
        copy(kSummaryAddress + 4, page.address);
        add(pageBytes);
        copy(pageEnd, fileSize);
        return true;
    }
    const MapEntry* sections =
        findEntry(c.map, c.index, static_cast<std::int32_t>(get32(c.header + kSectionMapNumber)));
    if (summary.size() > page.dataSize || !sections)
        return false;
    put64(desc, summary.size());
    const std::string mapPage = systemPage(kSectionMapType, sectionMap);
    const std::uint64_t mapEnd = sections->address + mapPage.size();
    const std::uint64_t second = get64(c.header + kSecondHeader);
    const bool clearOfHeader = second >= mapEnd || second + kFileHeaderSize <= sections->address;
    if (mapPage.size() > sections->size || mapEnd > fileSize || !clearOfHeader)
        return false;
    const bool pageFirst = page.address < sections->address;
    copy(0, kSummaryAddress);
    add(summaryAddressField(page.address));
    copy(kSummaryAddress + 4, pageFirst ? page.address : sections->address);
    add(pageFirst ? pageBytes : mapPage);
    copy(pageFirst ? pageEnd : mapEnd, pageFirst ? sections->address : page.address);
    add(pageFirst ? mapPage : pageBytes);
    copy(pageFirst ? mapEnd : pageEnd, fileSize);
    return true;
}

// The summary into `rewrite`: written in its page where it fits, else on a new page (also for a
// drawing that had no summary section, which gets a new descriptor).
void placeSummary(const BinaryDrawing& drawing, const std::string& summary, Rewrite& rewrite) {
    const Section& old = drawing.container.summary;
    SectionEntry* entry = rewrite.sections.find(kSummaryName);
    if (!entry) {
        std::uint32_t id = 0;
        for (const SectionEntry& s : rewrite.sections.sections)
            id = std::max(id, s.id() + 1);
        rewrite.sections.sections.push_back(newSection(kSummaryName, id));
        entry = &rewrite.sections.sections.back();
    }
    entry->setSize(summary.size());
    if (old.present && summary.size() <= old.pages[0].dataSize) {
        const SectionPage& page = old.pages[0];
        rewrite.inPlace.push_back(
            {page.address, dataPage(page.header, summary, page.dataSize, page.address)});
        return;
    }
    if (old.present)
        rewrite.dropped.push_back(old.pages[0].number);
    const auto capacity = static_cast<std::uint32_t>((summary.size() + kSummaryAlign - 1) /
                                                     kSummaryAlign * kSummaryAlign);
    entry->setPageSize(capacity);
    entry->pages.assign(1, PageEntry{0, capacity, 0});
    AddedPage page;
    page.section = kSummaryName;
    dataPageHeader(page.header, entry->id(), capacity, 0);
    page.data = summary;
    page.data.resize(capacity, '\0');
    rewrite.added.push_back(std::move(page));
}

// The new header-variables section into `rewrite`: its old pages go, new ones of 0x7400
// section bytes each (compressed) are added.
Acad::ErrorStatus placeHeader(const std::string& header, Rewrite& rewrite) {
    SectionEntry* entry = rewrite.sections.find(kHeaderName);
    if (!entry || header.empty())
        return Acad::eDwgCorrupt;
    if (!entry->compressed() || entry->pageSize() != kCompressedPageSize)
        return Acad::eNotImplementedYet; // every real header section is compressed this way
    for (const PageEntry& p : entry->pages)
        rewrite.dropped.push_back(p.number);
    entry->setSize(header.size());
    entry->pages.clear();
    for (std::size_t start = 0; start < header.size(); start += kCompressedPageSize) {
        const std::size_t n = std::min(kCompressedPageSize, header.size() - start);
        AddedPage page;
        page.section = kHeaderName;
        page.entry = entry->pages.size();
        page.data = paddedStream(bytes(header) + start, n, kCompressedPageSize);
        const auto stored = static_cast<std::uint32_t>(page.data.size());
        dataPageHeader(page.header, entry->id(), stored, start);
        entry->pages.push_back(PageEntry{0, stored, start});
        rewrite.added.push_back(std::move(page));
    }
    return Acad::eOk;
}

} // namespace

Acad::ErrorStatus planEdit(const BinaryDrawing& drawing, std::uint64_t fileSize,
                           const NewSections& sections, Edit& out) {
    const Container& c = drawing.container;
    if (drawing.securityFlags != 0)
        return Acad::eNotSupportedInDwgApi;
    const Section& old = c.summary;
    if (old.present && (old.compressed || old.pages.size() != 1 || old.pages[0].start != 0))
        return Acad::eNotImplementedYet;
    // Other readers take no uncompressed page larger than a compressed one decompresses to.
    if (sections.summary.size() > kCompressedPageSize)
        return Acad::eInvalidInput;
    Edit edit;
    if (old.present && !sections.headerChanged &&
        editWithinPage(drawing, fileSize, sections.summary, edit)) {
        out = std::move(edit);
        return Acad::eOk;
    }
    Rewrite rewrite;
    if (!parseSectionMap(c.sectionMap, rewrite.sections))
        return Acad::eDwgCorrupt;
    placeSummary(drawing, sections.summary, rewrite);
    Acad::ErrorStatus status = Acad::eOk;
    if (sections.headerChanged && (status = placeHeader(sections.header, rewrite)) != Acad::eOk)
        return status;
    if ((status = planRewrite(drawing, fileSize, std::move(rewrite), edit)) != Acad::eOk)
        return status;
    out = std::move(edit);
    return Acad::eOk;
}

} // namespace dwg
} // namespace minihost
