#include "minihost/drawing/dwg/save/dwg_rewrite.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/container/dwg_lz77.h"

namespace minihost {
namespace dwg {
namespace {

constexpr std::uint64_t kAlign = 0x20;
constexpr std::size_t kMapPageEntry = 8, kMapGapEntry = 24;
// The bytes between the page map's stored bytes and the header copy that ends the file.
const char kFiller[20] = {0x3B, 0x0E, 0x63, 0x41, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
// A page area may end past the file (slack of the last page); more than this is damage.
constexpr std::uint64_t kMaxZeroFill = 1u << 20;
const std::uint32_t kMaxNumber = std::numeric_limits<std::int32_t>::max() - 4;

std::uint64_t roundUp(std::uint64_t n, std::uint64_t to) {
    return (n + to - 1) / to * to;
}

// The gaps of a page map as the binary search tree the header's gap fields describe.
class GapTree {
  public:
    GapTree(std::vector<MapEntry>& map, std::int32_t root) : mMap(map), mIndex(map), mRoot(root) {}

    // Hangs the gap at `at` in the map (newly numbered, links cleared) into the tree. False
    // when the tree has a link to no gap or a cycle.
    bool insert(std::size_t at) {
        const std::int32_t g = mMap[at].number;
        mIndex.add(g, at);
        MapEntry* gap = find(g);
        if (!gap)
            return false;
        if (mRoot == 0) {
            mRoot = g;
            return true;
        }
        MapEntry* t = find(mRoot);
        for (std::size_t steps = 0; t && steps <= mMap.size(); ++steps) {
            if (gap->size == t->size) {
                while (t->next != 0 && steps++ <= mMap.size())
                    if (!(t = find(t->next)))
                        return false;
                t->next = g;
                gap->parent = t->number;
                return true;
            }
            std::int32_t& side = gap->size < t->size ? t->left : t->right;
            if (side == 0) {
                side = g;
                gap->parent = t->number;
                return true;
            }
            t = find(side);
        }
        return false;
    }

    std::int32_t root() const { return mRoot; }
    // The leftmost (smallest) or rightmost (largest) node, 0 without gaps.
    std::int32_t extreme(bool right) {
        MapEntry* t = find(mRoot);
        for (std::size_t steps = 0; t && steps <= mMap.size(); ++steps) {
            std::int32_t child = right ? t->right : t->left;
            if (child == 0)
                return t->number;
            t = find(child);
        }
        return 0;
    }

  private:
    MapEntry* find(std::int32_t number) {
        return number < 0 ? findEntry(mMap, mIndex, number) : nullptr;
    }

    std::vector<MapEntry>& mMap;
    PageIndex mIndex;
    std::int32_t mRoot;
};

class Builder {
  public:
    explicit Builder(std::vector<Piece>& pieces) : mPieces(pieces) {}
    void copy(std::uint64_t from, std::uint64_t to) {
        if (to > from) {
            Piece p;
            p.copy = true;
            p.from = from;
            p.to = to;
            mPieces.push_back(std::move(p));
        }
    }
    void add(std::string bytes) {
        Piece p;
        p.bytes = std::move(bytes);
        mPieces.push_back(std::move(p));
    }

  private:
    std::vector<Piece>& mPieces;
};

// The new page map as it grows: the old entries that stay, then the pages placed after them,
// with the numbers the file header hands out.
struct Layout {
    std::vector<MapEntry> map;
    std::uint64_t areaEnd = kPageArea; // where the old pages that stay end
    std::uint64_t at = kPageArea;      // where the next page goes
    std::uint32_t highestPage = 0, highestGap = 0;
    std::int32_t gapRoot = 0, gapLargest = 0, gapSmallest = 0;

    MapEntry& place(std::uint32_t size) {
        MapEntry e;
        e.number = static_cast<std::int32_t>(++highestPage);
        e.size = size;
        e.address = at;
        at += size;
        map.push_back(e);
        return map.back();
    }
};

// The old page map without the pages `replaced` names: those that end the page area go (their
// room is reused), the others become gaps in the gap tree.
template <typename Replaced>
Acad::ErrorStatus keepOldPages(const Container& c, std::uint64_t fileSize, std::size_t adding,
                               const Replaced& replaced, Layout& out) {
    out.map = c.map;
    while (!out.map.empty() && replaced(out.map.back().number))
        out.map.pop_back();
    for (const MapEntry& e : out.map)
        out.areaEnd += e.size;
    if (out.areaEnd > fileSize + kMaxZeroFill)
        return Acad::eDwgCorrupt;
    out.at = out.areaEnd;
    out.highestPage = get32(c.header + kHighestPage);
    out.highestGap = get32(c.header + kHighestGap);
    if (out.highestPage > kMaxNumber - adding || out.highestGap > kMaxNumber ||
        out.map.size() > kMaxNumber - out.highestGap)
        return Acad::eDwgCorrupt;
    GapTree gaps(out.map, static_cast<std::int32_t>(get32(c.header + kGapRoot)));
    for (std::size_t i = 0; i < out.map.size(); ++i) {
        MapEntry& e = out.map[i];
        if (!replaced(e.number))
            continue;
        e.number = -static_cast<std::int32_t>(++out.highestGap);
        e.parent = e.left = e.right = e.next = 0;
        if (!gaps.insert(i))
            return Acad::eDwgCorrupt;
    }
    out.gapRoot = gaps.root();
    out.gapLargest = gaps.extreme(true);
    out.gapSmallest = gaps.extreme(false);
    return Acad::eOk;
}

// The pages that became gaps in this rewrite, written as zeros: what they held (a summary's old
// texts, among others) must not outlive the save that replaced it. Gaps numbered beyond
// `oldHighestGap` are the new ones.
void clearNewGaps(const Layout& layout, std::uint32_t oldHighestGap,
                  std::vector<PageInPlace>& inPlace) {
    for (const MapEntry& e : layout.map)
        if (e.number < 0 && static_cast<std::uint32_t>(-e.number) > oldHighestGap)
            inPlace.push_back({e.address, std::string(e.size, '\0')});
}

// The added pages at the end of the page area, numbered, entered in their sections, sealed.
Acad::ErrorStatus placeAddedPages(Rewrite& rewrite, Layout& layout, std::string& out) {
    for (AddedPage& page : rewrite.added) {
        SectionEntry* section = rewrite.sections.find(page.section);
        if (!section || page.entry >= section->pages.size())
            return Acad::eDwgCorrupt;
        const std::uint32_t allocation = get32(page.header + 12);
        const MapEntry& e = layout.place(allocation);
        section->pages[page.entry].number = e.number;
        std::string bytes = dataPage(page.header, page.data, get32(page.header + 8), e.address);
        bytes.resize(allocation, '\0');
        out += bytes;
    }
    return Acad::eOk;
}

// The page map page for `layout.map` plus its own entry (placed here), and the file header
// describing it all, plain.
std::string pageMapPage(Layout& layout, std::int32_t sectionMapNumber, const Container& c,
                        std::uint8_t* plain) {
    std::size_t gapCount = 0, pageCount = 1;
    for (const MapEntry& e : layout.map)
        ++(e.number < 0 ? gapCount : pageCount);
    // The page map lists itself; the length of its stream depends only on how many entries it
    // has, so its own allocation is known before it is written.
    std::size_t stream = literalStreamLength(kMapPageEntry * pageCount + kMapGapEntry * gapCount);
    const MapEntry self = layout.place(static_cast<std::uint32_t>(
        roundUp(kSystemHeaderSize + stream + sizeof kFiller + kFileHeaderSize, kAlign)));
    std::string mapData;
    for (const MapEntry& e : layout.map) {
        add32(mapData, static_cast<std::uint32_t>(e.number));
        add32(mapData, e.size);
        if (e.number < 0)
            for (std::int32_t link : {e.parent, e.left, e.right, e.next})
                add32(mapData, static_cast<std::uint32_t>(link));
    }
    std::string page = systemPage(kPageMapType, mapData);

    std::memcpy(plain, c.header, kFileHeaderSize);
    put32(plain + kGapRoot, static_cast<std::uint32_t>(layout.gapRoot));
    put32(plain + kGapLargest, static_cast<std::uint32_t>(layout.gapLargest));
    put32(plain + kGapSmallest, static_cast<std::uint32_t>(layout.gapSmallest));
    put32(plain + kLastPage, static_cast<std::uint32_t>(self.number));
    put64(plain + kPageAreaSize, self.address + self.size - kPageArea);
    put64(plain + kSecondHeader, self.address + page.size() + sizeof kFiller);
    put32(plain + kGapCount, static_cast<std::uint32_t>(gapCount));
    put32(plain + kPageCount, static_cast<std::uint32_t>(pageCount));
    put32(plain + kPageMapNumber, static_cast<std::uint32_t>(self.number));
    put64(plain + kPageMapOffset, self.address - kPageArea);
    put32(plain + kSectionMapNumber, static_cast<std::uint32_t>(sectionMapNumber));
    put32(plain + kHighestPage, layout.highestPage);
    put32(plain + kHighestGap, layout.highestGap);
    put32(plain + kHeaderCrc, 0);
    put32(plain + kHeaderCrc, crc32(plain, kFileHeaderSize));
    return page;
}

// The file's first 0x100 bytes with the new file header and the summary's address.
std::string newStart(const BinaryDrawing& drawing, const SectionList& sections,
                     const Layout& layout, const std::string& maskedHeader) {
    std::string start(reinterpret_cast<const char*>(drawing.start), kStartSize);
    for (const SectionEntry& s : sections.sections)
        if (s.name() == kSummaryName && !s.pages.empty())
            for (const MapEntry& e : layout.map)
                if (e.number == s.pages[0].number)
                    start.replace(kSummaryAddress, 4, summaryAddressField(e.address));
    start.replace(kPrefixSize, kFileHeaderSize, maskedHeader);
    return start;
}

// The old page area that stays, [0x100, end), with the pages rewritten in place.
Acad::ErrorStatus copyOldPages(std::vector<PageInPlace>& inPlace, std::uint64_t end, Builder& b) {
    std::sort(inPlace.begin(), inPlace.end(),
              [](const PageInPlace& x, const PageInPlace& y) { return x.address < y.address; });
    std::uint64_t from = kPageArea;
    for (PageInPlace& page : inPlace) {
        if (page.address < from || page.address + page.bytes.size() > end)
            return Acad::eDwgCorrupt; // the page is not within what is kept
        b.copy(from, page.address);
        from = page.address + page.bytes.size();
        b.add(std::move(page.bytes));
    }
    b.copy(from, end);
    return Acad::eOk;
}

} // namespace

void dataPageHeader(std::uint8_t* plain, std::uint32_t id, std::uint32_t dataSize,
                    std::uint64_t start) {
    std::memset(plain, 0, kPageHeaderSize);
    put32(plain, kDataPageType);
    put32(plain + 4, id);
    put32(plain + 8, dataSize);
    put32(plain + 12, static_cast<std::uint32_t>(roundUp(dataSize + kPageHeaderSize, kAlign)));
    put64(plain + 16, start);
}

std::string dataPage(const std::uint8_t* plain, const std::string& data, std::uint32_t stored,
                     std::uint64_t address) {
    std::string page(plain, plain + kPageHeaderSize);
    page += data;
    page.resize(kPageHeaderSize + stored, '\0');
    std::uint8_t* h = bytes(page);
    sealDataPage(h, h + kPageHeaderSize, stored);
    maskPageHeader(h, address);
    return page;
}

std::string systemPage(std::uint32_t type, const std::string& data) {
    std::string stream = literalStream(bytes(data), data.size());
    std::string page(kSystemHeaderSize, '\0');
    std::uint8_t* h = bytes(page);
    put32(h, type);
    put32(h + 4, static_cast<std::uint32_t>(data.size()));
    put32(h + 8, static_cast<std::uint32_t>(stream.size()));
    put32(h + 12, 2);
    put32(h + 16, systemPageSum(h, bytes(stream), stream.size()));
    return page + stream;
}

std::string summaryAddressField(std::uint64_t address) {
    std::string field(4, '\0');
    put32(bytes(field), static_cast<std::uint32_t>(address + kPageHeaderSize));
    return field;
}

Acad::ErrorStatus planRewrite(const BinaryDrawing& drawing, std::uint64_t fileSize, Rewrite rewrite,
                              Edit& out) {
    const Container& c = drawing.container;
    const auto pageMapNumber = static_cast<std::int32_t>(get32(c.header + kPageMapNumber));
    const auto sectionMapNumber = static_cast<std::int32_t>(get32(c.header + kSectionMapNumber));
    std::sort(rewrite.dropped.begin(), rewrite.dropped.end());
    auto replaced = [&](std::int32_t number) {
        return number > 0 &&
               (number == pageMapNumber || number == sectionMapNumber ||
                std::binary_search(rewrite.dropped.begin(), rewrite.dropped.end(), number));
    };
    Layout layout;
    Acad::ErrorStatus status =
        keepOldPages(c, fileSize, rewrite.added.size() + 2, replaced, layout);
    if (status != Acad::eOk)
        return status;
    clearNewGaps(layout, get32(c.header + kHighestGap), rewrite.inPlace);

    std::string added;
    if ((status = placeAddedPages(rewrite, layout, added)) != Acad::eOk)
        return status;
    std::string sectionPage = systemPage(kSectionMapType, rewrite.sections.bytes());
    const MapEntry sectionEntry =
        layout.place(static_cast<std::uint32_t>(roundUp(sectionPage.size(), kAlign)));
    sectionPage.resize(sectionEntry.size, '\0');
    std::uint8_t plain[kFileHeaderSize];
    std::string mapPage = pageMapPage(layout, sectionEntry.number, c, plain);
    maskFileHeader(plain);
    const std::string masked(reinterpret_cast<const char*>(plain), sizeof plain);

    Edit edit;
    Builder b(edit.pieces);
    b.add(newStart(drawing, rewrite.sections, layout, masked));
    const std::uint64_t oldEnd = std::min(layout.areaEnd, fileSize);
    if ((status = copyOldPages(rewrite.inPlace, oldEnd, b)) != Acad::eOk)
        return status;
    if (layout.areaEnd > oldEnd)
        b.add(std::string(static_cast<std::size_t>(layout.areaEnd - oldEnd), '\0'));
    b.add(std::move(added));
    b.add(std::move(sectionPage));
    b.add(mapPage + std::string(kFiller, sizeof kFiller) + masked);
    out = std::move(edit);
    return Acad::eOk;
}

} // namespace dwg
} // namespace minihost
