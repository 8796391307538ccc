#include "minihost/drawing/dwg/ac1021/ac1021_read.h"

#include <algorithm>
#include <cstring>

#include "minihost/drawing/dwg/ac1021/ac1021_checks.h"
#include "minihost/drawing/dwg/ac1021/ac1021_lz77.h"
#include "minihost/drawing/dwg/ac1021/ac1021_system.h"
#include "minihost/drawing/dwg/dwg_bytes.h"

namespace minihost {
namespace dwg {
namespace ac1021 {
namespace {

constexpr std::size_t kDescriptorWords = 8;
constexpr std::size_t kPageWords = 7;
constexpr std::uint64_t kMaxName = 0x200; // bytes of a section's name
constexpr std::uint64_t kStoredPlain = 1; // encodings of a section's pages
constexpr std::uint64_t kInterleaved = 4;

// One section of the section map: its descriptor's fields and where its page entries start.
struct Descriptor {
    std::uint64_t size = 0, encrypted = 0, encoding = 0, pageCount = 0;
    std::size_t pages = 0;
};

bool isSummaryName(const std::uint8_t* name, std::uint64_t n) {
    const std::size_t length = std::strlen(kSummaryName);
    if (n != 2 * (length + 1))
        return false;
    for (std::size_t i = 0; i <= length; ++i)
        if (get16(name + 2 * i) != static_cast<std::uint8_t>(kSummaryName[i]))
            return false;
    return true;
}

// Walks every descriptor of the section map `map`; `found` tells whether one is the summary's.
Acad::ErrorStatus findSummary(const std::string& map, Descriptor& out, bool& found) {
    found = false;
    const std::uint8_t* p = bytes(map);
    for (std::size_t at = 0; at < map.size();) {
        if (map.size() - at < kDescriptorWords * 8)
            return Acad::eDwgCorrupt;
        Descriptor d;
        d.size = get64(p + at);
        d.encrypted = get64(p + at + 0x10);
        const std::uint64_t nameSize = get64(p + at + 0x20);
        d.encoding = get64(p + at + 0x30);
        d.pageCount = get64(p + at + 0x38);
        at += kDescriptorWords * 8;
        if (nameSize > kMaxName || nameSize > map.size() - at)
            return Acad::eDwgCorrupt;
        const bool summary = isSummaryName(p + at, nameSize);
        at += static_cast<std::size_t>(nameSize);
        if (d.pageCount > (map.size() - at) / (kPageWords * 8))
            return Acad::eDwgCorrupt;
        d.pages = at;
        at += static_cast<std::size_t>(d.pageCount) * kPageWords * 8;
        if (summary && !found) {
            out = d;
            found = true;
        }
    }
    return Acad::eOk;
}

// One page of the summary as its entry in the section map gives it, and where the page map
// puts it.
struct DataPage {
    std::uint64_t offset = 0, id = 0, size = 0, storedSize = 0, checksum = 0, crc = 0;
    PageSpan span;
    std::uint64_t take = 0; // the bytes read from span.address: its code words for encoding 4
};

DataPage pageEntry(const std::uint8_t* e) {
    DataPage page;
    page.offset = get64(e);
    page.id = get64(e + 0x10);
    page.size = get64(e + 0x18);
    page.storedSize = get64(e + 0x20);
    page.checksum = get64(e + 0x28);
    page.crc = get64(e + 0x30);
    return page;
}

// Finds `page` in the page map and checks that its stored bytes lie within its allocation and
// the file, and that its size can come from them.
bool placePage(const PageMap& map, std::uint64_t fileSize, std::uint64_t encoding, DataPage& page) {
    const PageSpan* span =
        page.id <= INT64_MAX ? findPage(map, static_cast<std::int64_t>(page.id)) : nullptr;
    if (!span)
        return false;
    page.span = *span;
    const std::uint64_t c = page.storedSize, words = span->size / kCodeWord;
    page.take = encoding == kInterleaved ? words * kCodeWord : c;
    const bool compressed = c < page.size;
    return c <= span->size && (encoding != kInterleaved || c <= words * kPageData) &&
           fits(span->address, page.take, fileSize) && page.size <= kMaxSummarySize &&
           (compressed ? page.size <= kMaxExpansion * c : c == page.size);
}

// Reads the stored bytes of the placed `page` into `packed`, de-interleaved for encoding 4.
Acad::ErrorStatus readStored(const ReadBytes& read, std::uint64_t encoding, const DataPage& page,
                             std::string& packed) {
    std::string stored(static_cast<std::size_t>(page.take), '\0');
    Acad::ErrorStatus status =
        page.take > 0 ? read(page.span.address, stored.size(), bytes(stored)) : Acad::eOk;
    if (status != Acad::eOk || encoding != kInterleaved) {
        packed = std::move(stored);
        return status;
    }
    packed.assign(static_cast<std::size_t>(page.storedSize), '\0');
    deinterleave(bytes(stored), static_cast<std::size_t>(page.take / kCodeWord), kPageData,
                 packed.size(), bytes(packed));
    return Acad::eOk;
}

// Reads and checks one placed page of the summary into `plain` (decompressed).
Acad::ErrorStatus readDataPage(const ReadBytes& read, std::uint64_t encoding, std::uint64_t seed,
                               const DataPage& page, std::string& plain) {
    std::string packed;
    Acad::ErrorStatus status = readStored(read, encoding, page, packed);
    if (status != Acad::eOk)
        return status;
    if (pageCrc(seed, bytes(packed), packed.size()) != page.crc)
        return Acad::eDwgCRCError;
    if (packed.size() < page.size) {
        if (!decompress(bytes(packed), packed.size(), static_cast<std::size_t>(page.size), plain) ||
            plain.size() != page.size)
            return Acad::eDwgCorrupt;
    } else {
        plain = std::move(packed);
    }
    return pageChecksum(seed, bytes(plain), plain.size()) == page.checksum ? Acad::eOk
                                                                           : Acad::eDwgCRCError;
}

// The pages of the summary `d` in `sectionMap`, placed, and whether they can hold its size:
// nothing is allocated for the section before that is known.
Acad::ErrorStatus listPages(const std::string& sectionMap, const Descriptor& d, const PageMap& map,
                            std::uint64_t fileSize, std::vector<DataPage>& out) {
    std::uint64_t supply = 0;
    for (std::uint64_t i = 0; i < d.pageCount; ++i) {
        DataPage page = pageEntry(bytes(sectionMap) + d.pages + i * kPageWords * 8);
        if (!placePage(map, fileSize, d.encoding, page))
            return Acad::eDwgCorrupt;
        supply += page.size;
        out.push_back(page);
    }
    return d.size > supply ? Acad::eDwgCorrupt : Acad::eOk;
}

// Reads the summary section `d` into `out`.
Acad::ErrorStatus readSummary(const ReadBytes& read, std::uint64_t fileSize, const PageMap& map,
                              const std::string& sectionMap, const Descriptor& d,
                              std::uint64_t seed, Section& out) {
    if (d.encrypted != 0)
        return Acad::eSecErrorDecryptingData;
    if (d.encoding != kStoredPlain && d.encoding != kInterleaved)
        return Acad::eBadDwgHeader;
    if (d.size > kMaxSummarySize)
        return Acad::eDwgCorrupt;
    std::vector<DataPage> pages;
    Acad::ErrorStatus status = listPages(sectionMap, d, map, fileSize, pages);
    if (status != Acad::eOk)
        return status;
    Section s;
    s.present = true;
    s.data.assign(static_cast<std::size_t>(d.size), '\0');
    std::string plain;
    for (const DataPage& page : pages) {
        if ((status = readDataPage(read, d.encoding, seed, page, plain)) != Acad::eOk)
            return status;
        s.compressed = s.compressed || page.storedSize < page.size;
        if (page.offset < d.size) {
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(plain.size(), d.size - page.offset));
            s.data.replace(static_cast<std::size_t>(page.offset), n, plain, 0, n);
        }
    }
    out = std::move(s);
    return Acad::eOk;
}

SystemPage pageMapPage(const std::uint8_t* p, std::uint64_t fileSize) {
    SystemPage page;
    page.address = kPagesStart + std::min(get64(p + kPageMapOffset), fileSize);
    page.room = fileSize - std::min(page.address, fileSize);
    page.storedSize = get64(p + kPageMapStoredSize);
    page.size = get64(p + kPageMapSize);
    page.factor = get64(p + kPageMapFactor);
    page.storedCrc = get64(p + kPageMapCrcStored);
    page.crc = get64(p + kPageMapCrc);
    page.seed = get64(p + kCheckSeed);
    return page;
}

SystemPage sectionMapPage(const std::uint8_t* p, const PageSpan& span) {
    SystemPage page;
    page.address = span.address;
    page.room = span.size;
    page.storedSize = get64(p + kSectionMapStoredSize);
    page.size = get64(p + kSectionMapSize);
    page.factor = get64(p + kSectionMapFactor);
    page.storedCrc = get64(p + kSectionMapCrcStored);
    page.crc = get64(p + kSectionMapCrc);
    page.seed = get64(p + kCheckSeed);
    return page;
}

} // namespace

Acad::ErrorStatus readSummarySection(const ReadBytes& read, std::uint64_t fileSize, Section& out) {
    std::uint8_t payload[kPayloadSize];
    Acad::ErrorStatus status = readFileHeader(read, fileSize, payload);
    if (status != Acad::eOk)
        return status;
    std::string data;
    PageMap map;
    if ((status = readSystemPage(read, fileSize, pageMapPage(payload, fileSize), data)) !=
        Acad::eOk)
        return status;
    if (!parsePageMap(data, map))
        return Acad::eDwgCorrupt;
    const std::uint64_t id = get64(payload + kSectionMapId);
    const PageSpan* span = id <= INT64_MAX ? findPage(map, static_cast<std::int64_t>(id)) : nullptr;
    if (!span)
        return Acad::eDwgCorrupt;
    if ((status = readSystemPage(read, fileSize, sectionMapPage(payload, *span), data)) !=
        Acad::eOk)
        return status;
    Descriptor summary;
    bool found = false;
    if ((status = findSummary(data, summary, found)) != Acad::eOk)
        return status;
    if (!found) {
        out = Section();
        return Acad::eOk;
    }
    return readSummary(read, fileSize, map, data, summary, get64(payload + kCheckSeed), out);
}

} // namespace ac1021
} // namespace dwg
} // namespace minihost
