#include "dwg_edit.h"

#include <cstring>
#include <limits>

#include "dwg_bytes.h"
#include "dwg_lz77.h"

namespace minihost {
namespace dwg {
namespace {

constexpr std::uint64_t kAlign = 0x20;
constexpr std::uint64_t kSummaryAlign = 0x80;
constexpr std::size_t kSummaryAddress = 0x20; // in the prefix: the summary data's address
constexpr std::size_t kMapPageEntry = 8, kMapGapEntry = 24;
// The bytes between the page map's stored bytes and the header copy that ends the file.
const char kFiller[20] = {0x3B, 0x0E, 0x63, 0x41, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
// A page area may end past the file (slack of the last page); more than this is damage.
constexpr std::uint64_t kMaxZeroFill = 1u << 20;

std::uint64_t roundUp(std::uint64_t n, std::uint64_t to) {
    return (n + to - 1) / to * to;
}

// The prefix field that points at the summary data of the page at `address`. It is kept up to
// date on every save: other readers find the summary by it alone.
std::string addressField(std::uint64_t address) {
    std::string field(4, '\0');
    put32(bytes(field), static_cast<std::uint32_t>(address + kPageHeaderSize));
    return field;
}

// A system page of `type` holding `data`, as a literal-only stream.
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

// The summary's data page at `address`: `plain` is its unmasked header, whose type, section,
// sizes and offset are kept; the data is `summary` zero-padded to the page's capacity.
std::string dataPage(const std::uint8_t* plain, const std::string& summary, std::uint32_t capacity,
                     std::uint64_t address) {
    std::string page(plain, plain + kPageHeaderSize);
    page += summary;
    page.resize(kPageHeaderSize + capacity, '\0');
    std::uint8_t* h = bytes(page);
    sealDataPage(h, h + kPageHeaderSize, capacity);
    maskPageHeader(h, address);
    return page;
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

} // namespace

Acad::ErrorStatus planSummaryEdit(const BinaryDrawing& drawing, std::uint64_t fileSize,
                                  const std::string& summary, Edit& out) {
    const Container& c = drawing.container;
    if (drawing.securityFlags != 0)
        return Acad::eNotSupportedInDwgApi;
    if (!c.summary.present || c.summary.compressed || c.summary.pages.size() != 1 ||
        c.summary.pages[0].start != 0)
        return Acad::eNotImplementedYet;
    // Other readers take no uncompressed page larger than a compressed one decompresses to.
    if (summary.size() > kCompressedPageSize)
        return Acad::eInvalidInput;
    const SectionPage& page = c.summary.pages[0];
    const std::uint32_t capacity = page.dataSize; // an uncompressed page stores all it holds
    const std::uint64_t n = summary.size();
    const std::uint64_t pageEnd = page.address + kPageHeaderSize + capacity;
    std::string sectionMap = c.sectionMap;
    std::uint8_t* desc = bytes(sectionMap) + c.summary.descriptor;
    Edit edit;
    Builder b(edit.pieces);

    // The same size: the page alone.
    if (n == get64(desc)) {
        b.copy(0, kSummaryAddress);
        b.add(addressField(page.address));
        b.copy(kSummaryAddress + 4, page.address);
        b.add(dataPage(page.header, summary, capacity, page.address));
        b.copy(pageEnd, fileSize);
        out = std::move(edit);
        return Acad::eOk;
    }

    // Another size that the page holds: the page and the section map's size, the section map
    // rewritten where it is when it still fits there.
    put64(desc, n);
    const std::uint8_t* header = c.header;
    const MapEntry* sections =
        findEntry(c.map, c.index, static_cast<std::int32_t>(get32(header + kSectionMapNumber)));
    const std::uint64_t second = get64(header + kSecondHeader);
    if (n <= capacity && sections) {
        std::string mapPage = systemPage(kSectionMapType, sectionMap);
        std::uint64_t mapEnd = sections->address + mapPage.size();
        bool clearOfHeader = second >= mapEnd || second + kFileHeaderSize <= sections->address;
        if (mapPage.size() <= sections->size && mapEnd <= fileSize && clearOfHeader) {
            bool pageFirst = page.address < sections->address;
            std::uint64_t firstAt = pageFirst ? page.address : sections->address;
            std::uint64_t firstEnd = pageFirst ? pageEnd : mapEnd;
            std::uint64_t secondAt = pageFirst ? sections->address : page.address;
            std::uint64_t secondEnd = pageFirst ? mapEnd : pageEnd;
            std::string pageBytes = dataPage(page.header, summary, capacity, page.address);
            b.copy(0, kSummaryAddress);
            b.add(addressField(page.address));
            b.copy(kSummaryAddress + 4, firstAt);
            b.add(pageFirst ? pageBytes : mapPage);
            b.copy(firstEnd, secondAt);
            b.add(pageFirst ? mapPage : pageBytes);
            b.copy(secondEnd, fileSize);
            out = std::move(edit);
            return Acad::eOk;
        }
    }

    // Otherwise new maps at the end of the page area, after the page when it moves; the pages
    // they replace become gaps whose old bytes stay, unless they end the page area, where the
    // new pages take their place.
    const bool movePage = n > capacity;
    const auto pageMapNumber = static_cast<std::int32_t>(get32(header + kPageMapNumber));
    const auto sectionMapNumber = static_cast<std::int32_t>(get32(header + kSectionMapNumber));
    auto replaced = [&](std::int32_t number) {
        return number > 0 && (number == pageMapNumber || number == sectionMapNumber ||
                              (movePage && number == page.number));
    };
    std::vector<MapEntry> map = c.map;
    while (!map.empty() && replaced(map.back().number))
        map.pop_back();
    std::uint64_t areaEnd = kPageArea;
    for (const MapEntry& e : map)
        areaEnd += e.size;
    if (areaEnd > fileSize + kMaxZeroFill)
        return Acad::eDwgCorrupt;

    std::uint32_t highestPage = get32(header + kHighestPage);
    std::uint32_t highestGap = get32(header + kHighestGap);
    const std::uint32_t kMaxNumber = std::numeric_limits<std::int32_t>::max() - 4;
    if (highestPage > kMaxNumber || highestGap > kMaxNumber || map.size() > kMaxNumber - highestGap)
        return Acad::eDwgCorrupt;
    GapTree gaps(map, static_cast<std::int32_t>(get32(header + kGapRoot)));
    for (std::size_t i = 0; i < map.size(); ++i) {
        MapEntry& e = map[i];
        if (!replaced(e.number))
            continue;
        e.number = -static_cast<std::int32_t>(++highestGap);
        e.parent = e.left = e.right = e.next = 0;
        if (!gaps.insert(i))
            return Acad::eDwgCorrupt;
    }

    std::uint64_t at = areaEnd;
    std::uint64_t summaryAddress = page.address;
    std::string movedPage;
    if (movePage) {
        std::uint32_t newCapacity = static_cast<std::uint32_t>(roundUp(n, kSummaryAlign));
        std::uint8_t plain[kPageHeaderSize];
        std::memcpy(plain, page.header, sizeof plain);
        put32(plain + 8, newCapacity);
        put32(plain + 12, newCapacity + static_cast<std::uint32_t>(kPageHeaderSize));
        put64(plain + 16, 0);
        MapEntry moved;
        moved.number = static_cast<std::int32_t>(++highestPage);
        moved.size = newCapacity + static_cast<std::uint32_t>(kPageHeaderSize);
        moved.address = at;
        map.push_back(moved);
        movedPage = dataPage(plain, summary, newCapacity, at);
        summaryAddress = at;
        at += moved.size;
        put32(desc + 0x0C, newCapacity);
        std::uint8_t* entry = desc + kDescriptorSize;
        put32(entry, static_cast<std::uint32_t>(moved.number));
        put32(entry + 4, newCapacity);
        put64(entry + 8, 0);
    }

    std::string sectionPage = systemPage(kSectionMapType, sectionMap);
    MapEntry sectionEntry;
    sectionEntry.number = static_cast<std::int32_t>(++highestPage);
    sectionEntry.size = static_cast<std::uint32_t>(roundUp(sectionPage.size(), kAlign));
    sectionEntry.address = at;
    map.push_back(sectionEntry);
    at += sectionEntry.size;
    sectionPage.resize(sectionEntry.size, '\0');

    // The page map lists itself; the length of its stream depends only on how many entries it
    // has, so its own allocation is known before it is written.
    std::size_t gapCount = 0, pageCount = 1;
    for (const MapEntry& e : map)
        ++(e.number < 0 ? gapCount : pageCount);
    std::size_t mapBytes = kMapPageEntry * pageCount + kMapGapEntry * gapCount;
    std::size_t stream = literalStreamLength(mapBytes);
    MapEntry self;
    self.number = static_cast<std::int32_t>(++highestPage);
    self.size = static_cast<std::uint32_t>(
        roundUp(kSystemHeaderSize + stream + sizeof kFiller + kFileHeaderSize, kAlign));
    self.address = at;
    map.push_back(self);
    std::string mapData;
    for (const MapEntry& e : map) {
        add32(mapData, static_cast<std::uint32_t>(e.number));
        add32(mapData, e.size);
        if (e.number < 0)
            for (std::int32_t link : {e.parent, e.left, e.right, e.next})
                add32(mapData, static_cast<std::uint32_t>(link));
    }
    std::string mapPage = systemPage(kPageMapType, mapData);

    std::uint8_t plain[kFileHeaderSize];
    std::memcpy(plain, header, sizeof plain);
    std::uint64_t secondAt = self.address + mapPage.size() + sizeof kFiller;
    put32(plain + kGapRoot, static_cast<std::uint32_t>(gaps.root()));
    put32(plain + kGapLargest, static_cast<std::uint32_t>(gaps.extreme(true)));
    put32(plain + kGapSmallest, static_cast<std::uint32_t>(gaps.extreme(false)));
    put32(plain + kLastPage, static_cast<std::uint32_t>(self.number));
    put64(plain + kPageAreaSize, self.address + self.size - kPageArea);
    put64(plain + kSecondHeader, secondAt);
    put32(plain + kGapCount, static_cast<std::uint32_t>(gapCount));
    put32(plain + kPageCount, static_cast<std::uint32_t>(pageCount));
    put32(plain + kPageMapNumber, static_cast<std::uint32_t>(self.number));
    put64(plain + kPageMapOffset, self.address - kPageArea);
    put32(plain + kSectionMapNumber, static_cast<std::uint32_t>(sectionEntry.number));
    put32(plain + kHighestPage, highestPage);
    put32(plain + kHighestGap, highestGap);
    put32(plain + kHeaderCrc, 0);
    put32(plain + kHeaderCrc, crc32(plain, sizeof plain));
    maskFileHeader(plain);
    std::string masked(reinterpret_cast<const char*>(plain), sizeof plain);

    std::string start(reinterpret_cast<const char*>(drawing.start), kStartSize);
    put32(bytes(start) + kSummaryAddress,
          static_cast<std::uint32_t>(summaryAddress + kPageHeaderSize));
    start.replace(kPrefixSize, kFileHeaderSize, masked);
    b.add(std::move(start));
    std::uint64_t oldEnd = std::min(areaEnd, fileSize);
    if (!movePage && pageEnd > oldEnd)
        return Acad::eDwgCorrupt; // the page that stays is not within what is kept
    if (!movePage) {
        b.copy(kPageArea, page.address);
        b.add(dataPage(page.header, summary, capacity, page.address));
        b.copy(pageEnd, oldEnd);
    } else {
        b.copy(kPageArea, oldEnd);
    }
    if (areaEnd > oldEnd)
        b.add(std::string(static_cast<std::size_t>(areaEnd - oldEnd), '\0'));
    if (movePage)
        b.add(std::move(movedPage));
    b.add(std::move(sectionPage));
    b.add(mapPage + std::string(kFiller, sizeof kFiller) + masked);
    out = std::move(edit);
    return Acad::eOk;
}

} // namespace dwg
} // namespace minihost
