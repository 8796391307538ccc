// The parts of an AC1021 drawing a reader finds its sections through: the file header (three
// interleaved code words at 0x80 holding a compressed payload of 0x110 bytes), the system pages
// (page map and section map) and the page map's addresses. Every check value on the way is
// checked; nothing is allocated in proportion to a size field before the file bounds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/container/dwg_container.h"

namespace minihost {
namespace dwg {
namespace ac1021 {

constexpr std::uint64_t kHeaderAddress = 0x80;
constexpr std::size_t kHeaderCodeWords = 3;
constexpr std::size_t kHeaderData = kHeaderCodeWords * 239; // de-interleaved file header
constexpr std::size_t kPayloadSize = 0x110;
constexpr std::uint64_t kPagesStart = 0x480;               // where the page area starts
constexpr std::uint64_t kHeaderStart = 0x686A5C74BB328BE4; // start of the payload's CRC

// Offsets of the decoded payload's fields (uint64 each).
enum PayloadField : std::size_t {
    kFileSize = 0x08,
    kPageMapCrcStored = 0x10,
    kPageMapFactor = 0x18,
    kPageMapOffset = 0x38,
    kPageMapStoredSize = 0x50,
    kPageMapSize = 0x58,
    kPageMapCrc = 0x80,
    kSectionMapCrc = 0xA8,
    kSectionMapStoredSize = 0xB0,
    kSectionMapId = 0xC0,
    kSectionMapSize = 0xC8,
    kSectionMapCrcStored = 0xD0,
    kSectionMapFactor = 0xD8,
    kCheckSeed = 0xF0,
    kPayloadCrc = 0x108,
};

// The start value of the compressed payload's CRC for its length; 0 for a length whose start
// value is not known (that CRC is then not checked).
std::uint64_t payloadCrcStart(std::size_t length);

// Reads, de-interleaves and checks the file header and its payload into `payload`
// (kPayloadSize bytes): eDwgNeedsRecovery when the file is shorter than its page area or than
// the size the payload gives, eDwgCRCError, eDwgCorrupt.
Acad::ErrorStatus readFileHeader(const ReadBytes& read, std::uint64_t fileSize,
                                 std::uint8_t* payload);

// How a system page is stored, from the payload's fields.
struct SystemPage {
    std::uint64_t address = 0;
    std::uint64_t room = 0; // bytes it may take from its address (its allocation)
    std::uint64_t storedSize = 0, size = 0, factor = 0;
    std::uint64_t storedCrc = 0, crc = 0, seed = 0;
};

// Reads the system page `page`: its code words, the stored bytes' CRC, decompression (when it
// is stored smaller than its size), the decompressed bytes' CRC, into `data`.
Acad::ErrorStatus readSystemPage(const ReadBytes& read, std::uint64_t fileSize,
                                 const SystemPage& page, std::string& data);

// The page map: each page id (> 0) with its address and allocation, sorted by id.
struct PageSpan {
    std::int64_t id = 0;
    std::uint64_t address = 0, size = 0;
};
using PageMap = std::vector<PageSpan>;

// Parses a decompressed page map. False when it is cut short or its sizes overflow.
bool parsePageMap(const std::string& data, PageMap& out);

// The page `id` of `map`, or nullptr.
const PageSpan* findPage(const PageMap& map, std::int64_t id);

} // namespace ac1021
} // namespace dwg
} // namespace minihost
