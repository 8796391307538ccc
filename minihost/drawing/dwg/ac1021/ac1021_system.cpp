#include "minihost/drawing/dwg/ac1021/ac1021_system.h"

#include <algorithm>
#include <cstring>

#include "minihost/drawing/dwg/ac1021/ac1021_checks.h"
#include "minihost/drawing/dwg/ac1021/ac1021_lz77.h"
#include "minihost/drawing/dwg/dwg_bytes.h"

namespace minihost {
namespace dwg {
namespace ac1021 {
namespace {

constexpr std::size_t kPayloadStart = 0x20;
// No drawing asks for more code words than this per code word's worth of data.
constexpr std::uint64_t kMaxFactor = 0x100;

std::uint64_t roundUp(std::uint64_t n, std::uint64_t unit) {
    return (n + unit - 1) / unit * unit;
}

// The payload's stored bytes out of the de-interleaved header `h`, decompressed into `payload`.
Acad::ErrorStatus unpackPayload(const std::uint8_t* h, std::uint8_t* payload) {
    const auto length = static_cast<std::int32_t>(get32(h + 0x18));
    const bool stored = length < 0;
    const std::uint64_t n = stored ? -std::int64_t{length} : length;
    if (n == 0 || n > kHeaderData - kPayloadStart)
        return Acad::eDwgCorrupt;
    const std::uint8_t* data = h + kPayloadStart;
    const std::uint64_t start = stored ? 0 : payloadCrcStart(static_cast<std::size_t>(n));
    if (start != 0 && headerCrc(start, data, static_cast<std::size_t>(n)) != get64(h + 0x10))
        return Acad::eDwgCRCError;
    std::string plain;
    if (stored)
        plain.assign(reinterpret_cast<const char*>(data), static_cast<std::size_t>(n));
    else if (!decompress(data, static_cast<std::size_t>(n), kPayloadSize, plain))
        return Acad::eDwgCorrupt;
    if (plain.size() != kPayloadSize)
        return Acad::eDwgCorrupt;
    std::memcpy(payload, plain.data(), kPayloadSize);
    return Acad::eOk;
}

} // namespace

std::uint64_t payloadCrcStart(std::size_t length) {
    switch (length) {
    case 162:
        return 0x72182B364D43F885;
    case 163:
        return 0xDA088710F3EAD1F8;
    case 164:
        return 0xF9AF353B747E4113;
    case 165:
        return 0x407FF11758D60560;
    case 166:
        return 0x75621E993B47B3C2;
    default:
        return 0;
    }
}

Acad::ErrorStatus readFileHeader(const ReadBytes& read, std::uint64_t fileSize,
                                 std::uint8_t* payload) {
    if (fileSize < kPagesStart)
        return Acad::eDwgNeedsRecovery;
    std::uint8_t stored[kHeaderCodeWords * kCodeWord];
    Acad::ErrorStatus status = read(kHeaderAddress, sizeof stored, stored);
    if (status != Acad::eOk)
        return status;
    std::uint8_t h[kHeaderData];
    deinterleave(stored, kHeaderCodeWords, kSystemData, sizeof h, h);
    if ((status = unpackPayload(h, payload)) != Acad::eOk)
        return status;
    std::uint8_t check[kPayloadSize];
    std::memcpy(check, payload, sizeof check);
    put64(check + kPayloadCrc, 0);
    if (headerCrc(kHeaderStart, check, sizeof check) != get64(payload + kPayloadCrc))
        return Acad::eDwgCRCError;
    // The file ends where the header says: a shorter one was cut.
    return fileSize < get64(payload + kFileSize) ? Acad::eDwgNeedsRecovery : Acad::eOk;
}

Acad::ErrorStatus readSystemPage(const ReadBytes& read, std::uint64_t fileSize,
                                 const SystemPage& page, std::string& data) {
    const std::uint64_t c = page.storedSize, u = page.size;
    if (c == 0 || c > kMaxSystemPage || page.factor == 0 || page.factor > kMaxFactor || u > kMaxSystemData ||
        (c < u && u > kMaxExpansion * c) || (c >= u && c != u))
        return Acad::eDwgCorrupt;
    const std::uint64_t words = (roundUp(c, 8) * page.factor + kSystemData - 1) / kSystemData;
    const std::uint64_t span = words * kCodeWord;
    if (span > page.room || !fits(page.address, span, fileSize))
        return Acad::eDwgCorrupt;
    std::string stored(static_cast<std::size_t>(span), '\0');
    Acad::ErrorStatus status = read(page.address, stored.size(), bytes(stored));
    if (status != Acad::eOk)
        return status;
    std::string packed(static_cast<std::size_t>(c), '\0');
    deinterleave(bytes(stored), static_cast<std::size_t>(words), kSystemData, packed.size(),
                 bytes(packed));
    if (pageCrc(page.seed, bytes(packed), packed.size()) != page.storedCrc)
        return Acad::eDwgCRCError;
    if (c < u) {
        if (!decompress(bytes(packed), packed.size(), static_cast<std::size_t>(u), data) ||
            data.size() != u)
            return Acad::eDwgCorrupt;
    } else {
        data = std::move(packed);
    }
    return pageCrc(page.seed, bytes(data), data.size()) == page.crc ? Acad::eOk
                                                                    : Acad::eDwgCRCError;
}

bool parsePageMap(const std::string& data, PageMap& out) {
    out.clear();
    if (data.size() % 16 != 0)
        return false;
    std::uint64_t address = kPagesStart;
    for (std::size_t at = 0; at < data.size(); at += 16) {
        PageSpan span;
        span.size = get64(bytes(data) + at);
        span.id = static_cast<std::int64_t>(get64(bytes(data) + at + 8));
        span.address = address;
        if (span.size > (std::uint64_t{1} << 48) - address)
            return false;
        address += span.size;
        if (span.id > 0) // negative ids: unused regions, counted but never looked up
            out.push_back(span);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const PageSpan& a, const PageSpan& b) { return a.id < b.id; });
    return true;
}

const PageSpan* findPage(const PageMap& map, std::int64_t id) {
    auto at = std::lower_bound(map.begin(), map.end(), id,
                               [](const PageSpan& s, std::int64_t v) { return s.id < v; });
    return at != map.end() && at->id == id ? &*at : nullptr;
}

} // namespace ac1021
} // namespace dwg
} // namespace minihost
