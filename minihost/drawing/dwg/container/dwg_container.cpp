#include "minihost/drawing/dwg/container/dwg_container.h"

#include <algorithm>
#include <cstring>

#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/container/dwg_lz77.h"
#include "minihost/drawing/dwg/container/dwg_section_map.h"

namespace minihost {
namespace dwg {

const char* const kSummaryName = "AcDb:SummaryInfo";

namespace {

// One input byte of the compressed stream yields at most this many output bytes.
constexpr std::uint64_t kMaxExpansion = 0xFF;

// Every page size is a multiple of this: no page holds less data.
constexpr std::uint64_t kPageUnit = 0x20;

// Where each page of the section described at `desc` is, into `out.pages`, and how many bytes
// the pages can hold at most: nothing is allocated for the section before this is known.
Acad::ErrorStatus placePages(const Container& c, std::uint64_t fileSize, const std::uint8_t* desc,
                             std::uint64_t maxSize, Section& out, std::uint64_t& supply) {
    const std::uint32_t pageCount = get32(desc + 0x08);
    if (pageCount > maxSize / kPageUnit + 1)
        return Acad::eDwgCorrupt;
    supply = 0;
    const std::uint8_t* entry = desc + kDescriptorSize;
    for (std::uint32_t i = 0; i < pageCount; ++i, entry += 16) {
        SectionPage page;
        page.number = static_cast<std::int32_t>(get32(entry));
        page.dataSize = get32(entry + 4);
        page.start = get64(entry + 8);
        const MapEntry* mapped = page.number > 0 ? findEntry(c.map, c.index, page.number) : nullptr;
        if (!mapped || page.dataSize > mapped->size ||
            mapped->size - page.dataSize < kPageHeaderSize ||
            !fits(mapped->address, kPageHeaderSize + std::uint64_t{page.dataSize}, fileSize))
            return Acad::eDwgCorrupt;
        page.address = mapped->address;
        page.allocation = mapped->size;
        supply += out.compressed ? kCompressedPageSize : page.dataSize;
        out.pages.push_back(page);
    }
    return Acad::eOk;
}

// Reads and checks one data page of section `s` into `stored` (its stored bytes), keeping its
// unmasked header in the page.
Acad::ErrorStatus readPage(const ReadBytes& read, const Section& s, SectionPage& page,
                           std::string& stored) {
    std::uint8_t* header = page.header;
    Acad::ErrorStatus status = read(page.address, kPageHeaderSize, header);
    if (status != Acad::eOk)
        return status;
    maskPageHeader(header, page.address);
    stored.resize(page.dataSize);
    if (page.dataSize > 0 &&
        (status = read(page.address + kPageHeaderSize, page.dataSize, bytes(stored))) != Acad::eOk)
        return status;
    std::uint32_t dataSum = get32(header + 28);
    std::uint8_t check[kPageHeaderSize];
    std::memcpy(check, header, sizeof check);
    put32(check + 24, 0);
    if (pageSum(dataSum, check, sizeof check) != get32(header + 24) ||
        pageSum(0, bytes(stored), stored.size()) != dataSum)
        return Acad::eDwgCRCError;
    if (get32(header) != kDataPageType || get32(header + 4) != s.id ||
        get32(header + 8) != page.dataSize || get64(header + 16) != page.start)
        return Acad::eDwgCorrupt;
    return Acad::eOk;
}

// Checks the section map's header against the descriptors it holds: the section count is
// written twice, and every compressed page decompresses to the size the header names.
bool consistentSectionMap(const Container& c) {
    const std::uint8_t* h = bytes(c.sectionMap);
    return get32(h) == c.descriptors.size() && get32(h + 16) == c.descriptors.size() &&
           get32(h + 8) == kCompressedPageSize;
}

// The section map's descriptors, into c.descriptors.
Acad::ErrorStatus listSections(Container& c) {
    return sectionOffsets(c.sectionMap, c.descriptors) && consistentSectionMap(c)
               ? Acad::eOk
               : Acad::eDwgCorrupt;
}

} // namespace

std::uint32_t systemPageSum(const std::uint8_t* header, const std::uint8_t* stored, std::size_t n) {
    std::uint8_t plain[kSystemHeaderSize];
    std::memcpy(plain, header, sizeof plain);
    put32(plain + 16, 0);
    return pageSum(pageSum(0, plain, sizeof plain), stored, n);
}

void sealDataPage(std::uint8_t* header, const std::uint8_t* data, std::size_t n) {
    std::uint32_t dataSum = pageSum(0, data, n);
    put32(header + 28, dataSum);
    put32(header + 24, 0);
    put32(header + 24, pageSum(dataSum, header, kPageHeaderSize));
}

Acad::ErrorStatus readSystemPage(const ReadBytes& read, std::uint64_t fileSize,
                                 std::uint64_t address, std::uint32_t type, std::string& data) {
    std::uint8_t header[kSystemHeaderSize];
    if (!fits(address, sizeof header, fileSize))
        return Acad::eDwgCorrupt;
    Acad::ErrorStatus status = read(address, sizeof header, header);
    if (status != Acad::eOk)
        return status;
    std::uint32_t plainSize = get32(header + 4);
    std::uint32_t storedSize = get32(header + 8);
    if (storedSize > kMaxSystemPage || !fits(address + sizeof header, storedSize, fileSize))
        return Acad::eDwgCorrupt;
    std::string stored(storedSize, '\0');
    if (storedSize > 0 &&
        (status = read(address + sizeof header, storedSize, bytes(stored))) != Acad::eOk)
        return status;
    if (systemPageSum(header, bytes(stored), storedSize) != get32(header + 16))
        return Acad::eDwgCRCError;
    if (get32(header) != type || get32(header + 12) != 2)
        return Acad::eBadDwgHeader;
    if (plainSize > kMaxExpansion * storedSize || plainSize > kMaxSystemData ||
        !decompress(bytes(stored), storedSize, plainSize, data) || data.size() != plainSize)
        return Acad::eDwgCorrupt;
    return Acad::eOk;
}

PageIndex::PageIndex(const std::vector<MapEntry>& map) {
    mSorted.reserve(map.size());
    for (std::size_t i = 0; i < map.size(); ++i)
        mSorted.emplace_back(map[i].number, i);
    std::sort(mSorted.begin(), mSorted.end());
}

std::size_t PageIndex::find(std::int32_t number) const {
    auto at =
        std::lower_bound(mSorted.begin(), mSorted.end(), std::make_pair(number, std::size_t{0}));
    return at != mSorted.end() && at->first == number ? at->second : npos;
}

void PageIndex::add(std::int32_t number, std::size_t at) {
    auto entry = std::make_pair(number, at);
    mSorted.insert(std::lower_bound(mSorted.begin(), mSorted.end(), entry), entry);
}

const MapEntry* findEntry(const std::vector<MapEntry>& map, const PageIndex& index,
                          std::int32_t number) {
    std::size_t at = index.find(number);
    return at < map.size() && map[at].number == number ? &map[at] : nullptr;
}

MapEntry* findEntry(std::vector<MapEntry>& map, const PageIndex& index, std::int32_t number) {
    std::size_t at = index.find(number);
    return at < map.size() && map[at].number == number ? &map[at] : nullptr;
}

bool parsePageMap(const std::string& data, std::vector<MapEntry>& out) {
    out.clear();
    const std::uint8_t* p = bytes(data);
    std::size_t pos = 0;
    std::uint64_t address = kPageArea;
    while (pos < data.size()) {
        if (data.size() - pos < 8)
            return false;
        MapEntry entry;
        entry.number = static_cast<std::int32_t>(get32(p + pos));
        entry.size = get32(p + pos + 4);
        entry.address = address;
        pos += 8;
        if (entry.number == 0)
            return false;
        if (entry.number < 0) {
            if (data.size() - pos < 16)
                return false;
            entry.parent = static_cast<std::int32_t>(get32(p + pos));
            entry.left = static_cast<std::int32_t>(get32(p + pos + 4));
            entry.right = static_cast<std::int32_t>(get32(p + pos + 8));
            entry.next = static_cast<std::int32_t>(get32(p + pos + 12));
            pos += 16;
        }
        address += entry.size;
        out.push_back(entry);
    }
    return true;
}

std::size_t findSection(const Container& c, const char* name) {
    const std::size_t length = std::strlen(name);
    for (std::size_t at : c.descriptors) {
        const char* stored = reinterpret_cast<const char*>(bytes(c.sectionMap) + at + 0x20);
        if (strnlen(stored, 64) == length && std::memcmp(stored, name, length) == 0)
            return at;
    }
    return std::string::npos;
}

Acad::ErrorStatus readSection(const ReadBytes& read, std::uint64_t fileSize, const Container& c,
                              std::size_t descriptor, std::uint64_t maxSize, Section& out) {
    Section s;
    const std::uint8_t* desc = bytes(c.sectionMap) + descriptor;
    const std::uint64_t size = get64(desc);
    const std::uint32_t compression = get32(desc + 0x14);
    s.present = true;
    s.descriptor = descriptor;
    s.pageSize = get32(desc + 0x0C);
    s.id = get32(desc + 0x18);
    if (compression != 1 && compression != 2)
        return Acad::eBadDwgHeader;
    s.compressed = compression == 2;
    if (get32(desc + 0x1C) != 0)
        return Acad::eSecErrorDecryptingData;
    if (size > maxSize || (s.compressed && s.pageSize != kCompressedPageSize))
        return Acad::eDwgCorrupt;
    std::uint64_t supply = 0;
    Acad::ErrorStatus status = placePages(c, fileSize, desc, maxSize, s, supply);
    if (status != Acad::eOk)
        return status;
    if (size > supply)
        return Acad::eDwgCorrupt;

    s.data.assign(static_cast<std::size_t>(size), '\0');
    std::string stored, plain;
    for (SectionPage& page : s.pages) {
        if ((status = readPage(read, s, page, stored)) != Acad::eOk)
            return status;
        if (!s.compressed && page.dataSize > s.pageSize)
            return Acad::eDwgCorrupt;
        const std::string* data = &stored;
        if (s.compressed) {
            if (!decompress(bytes(stored), stored.size(), kCompressedPageSize, plain) ||
                plain.size() != kCompressedPageSize)
                return Acad::eDwgCorrupt;
            data = &plain;
        }
        if (page.start < size) {
            std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(data->size(), size - page.start));
            s.data.replace(static_cast<std::size_t>(page.start), n, *data, 0, n);
        }
    }
    out = std::move(s);
    return Acad::eOk;
}

Acad::ErrorStatus readContainer(const ReadBytes& read, std::uint64_t fileSize,
                                const std::uint8_t* start, Container& out) {
    Container c;
    std::memcpy(c.header, start + kPrefixSize, kFileHeaderSize);
    maskFileHeader(c.header);
    std::uint32_t crc = get32(c.header + kHeaderCrc);
    put32(c.header + kHeaderCrc, 0);
    bool crcOk = crc32(c.header, kFileHeaderSize) == crc;
    put32(c.header + kHeaderCrc, crc);
    if (!crcOk)
        return Acad::eDwgCRCError;
    if (std::memcmp(c.header, "AcFssFcAJMB", 12) != 0)
        return Acad::eBadDwgHeader;

    // The file ends with the second copy of the header: a file shorter than that was cut.
    std::uint64_t second = get64(c.header + kSecondHeader);
    if (!fits(second, kFileHeaderSize, fileSize))
        return second >= kPageArea && second < (std::uint64_t{1} << 48) ? Acad::eDwgNeedsRecovery
                                                                        : Acad::eDwgCorrupt;

    std::uint64_t pageMapAddress = get64(c.header + kPageMapOffset);
    if (pageMapAddress > fileSize)
        return Acad::eDwgCorrupt;
    pageMapAddress += kPageArea;
    std::string pageMap;
    Acad::ErrorStatus status =
        readSystemPage(read, fileSize, pageMapAddress, kPageMapType, pageMap);
    if (status != Acad::eOk)
        return status;
    if (!parsePageMap(pageMap, c.map))
        return Acad::eDwgCorrupt;
    c.index = PageIndex(c.map);
    // A page, not a gap: the numbers name pages.
    auto page = [&c](std::size_t field) -> const MapEntry* {
        auto number = static_cast<std::int32_t>(get32(c.header + field));
        return number > 0 ? findEntry(c.map, c.index, number) : nullptr;
    };
    const MapEntry* self = page(kPageMapNumber);
    if (!self || self->address != pageMapAddress)
        return Acad::eDwgCorrupt;

    const MapEntry* sections = page(kSectionMapNumber);
    if (!sections)
        return Acad::eDwgCorrupt;
    status = readSystemPage(read, fileSize, sections->address, kSectionMapType, c.sectionMap);
    if (status != Acad::eOk)
        return status;

    // The section map: a header, then each section's descriptor and its page entries.
    if ((status = listSections(c)) != Acad::eOk)
        return status;
    std::size_t summary = findSection(c, kSummaryName);
    if (summary != std::string::npos &&
        (status = readSection(read, fileSize, c, summary, kMaxSummarySize, c.summary)) != Acad::eOk)
        return status;
    out = std::move(c);
    return Acad::eOk;
}

} // namespace dwg
} // namespace minihost
