// The container of binary drawings of AC1018, AC1024, AC1027 and AC1032: the masked file
// header, the page map, the section map and the pages of the summary section. Reading checks
// every check value on the way and reads only those parts, whatever the drawing's size; what
// it records is what an in-place edit of the summary needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/container/dwg_checks.h"

namespace minihost {
namespace dwg {

constexpr std::size_t kPrefixSize = 0x80;  // plain bytes before the file header
constexpr std::uint64_t kPageArea = 0x100; // where the first page starts
constexpr std::uint32_t kPageMapType = 0x41630E3B;
constexpr std::uint32_t kSectionMapType = 0x4163003B;
constexpr std::uint32_t kDataPageType = 0x4163043B;
constexpr std::size_t kSystemHeaderSize = 20;
constexpr std::size_t kCompressedPageSize = 0x7400;
constexpr std::size_t kDescriptorSize = 96;
constexpr std::size_t kSectionMapHeaderSize = 20;
// No summary a CAD program writes comes near this; a larger one is taken as damage.
constexpr std::uint64_t kMaxSummarySize = 16u << 20;
// Nor does a system page (page map, section map) come near this many stored bytes, or
// decompress to more than this (a page map of millions of entries).
constexpr std::uint64_t kMaxSystemPage = 16u << 20;
constexpr std::uint64_t kMaxSystemData = 64u << 20;
extern const char* const kSummaryName;

// Offsets of the plain file header's fields.
enum HeaderField : std::size_t {
    kGapRoot = 0x18,
    kGapLargest = 0x1C,
    kGapSmallest = 0x20,
    kLastPage = 0x28,
    kPageAreaSize = 0x2C,
    kSecondHeader = 0x34,
    kGapCount = 0x3C,
    kPageCount = 0x40,
    kPageMapNumber = 0x50,
    kPageMapOffset = 0x54,
    kSectionMapNumber = 0x5C,
    kHighestPage = 0x60,
    kHighestGap = 0x64,
    kHeaderCrc = 0x68,
};

// One entry of the page map: a page (number > 0) or a gap (number < 0) with its tree links.
struct MapEntry {
    std::int32_t number = 0;
    std::uint32_t size = 0;
    std::uint64_t address = 0;
    std::int32_t parent = 0, left = 0, right = 0, next = 0;
};

// Where each number is in a page map, so that a lookup takes logarithmic time whatever the
// number of pages. Where a number occurs twice, the first entry counts.
class PageIndex {
  public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    PageIndex() = default;
    explicit PageIndex(const std::vector<MapEntry>& map);

    // The position of entry `number` in the map, npos when there is none.
    std::size_t find(std::int32_t number) const;
    // Records that entry `number` is at `at` (a number added to the map or given to an entry).
    void add(std::int32_t number, std::size_t at);

  private:
    std::vector<std::pair<std::int32_t, std::size_t>> mSorted; // by number, then position
};

// The entry `number` of `map` as `index` places it, or nullptr (also when the entry there has
// since been given another number).
const MapEntry* findEntry(const std::vector<MapEntry>& map, const PageIndex& index,
                          std::int32_t number);
MapEntry* findEntry(std::vector<MapEntry>& map, const PageIndex& index, std::int32_t number);

// One page of a section, as the section map lists it and the page map places it.
struct SectionPage {
    std::int32_t number = 0;
    std::uint32_t dataSize = 0; // stored bytes after the page header
    std::uint64_t start = 0;    // offset of its data in the section
    std::uint64_t address = 0;
    std::uint32_t allocation = 0;
    std::uint8_t header[kPageHeaderSize] = {}; // its header as read, unmasked
};

// One section: where the section map describes it, its pages and, once read, its bytes.
struct Section {
    bool present = false;       // false: the section map has no section of that name
    std::size_t descriptor = 0; // where its descriptor starts in Container::sectionMap
    std::uint32_t id = 0;
    bool compressed = false;
    std::uint32_t pageSize = 0; // the descriptor's maximum decompressed page size
    std::vector<SectionPage> pages;
    std::string data; // the section's bytes, cut to its size
};

struct Container {
    std::uint8_t header[kFileHeaderSize] = {}; // the file header, unmasked
    std::vector<MapEntry> map;                 // the page map in file order
    PageIndex index;                           // where each number is in `map`
    std::string sectionMap;                    // decompressed
    std::vector<std::size_t> descriptors;      // where each descriptor starts in sectionMap
    Section summary;                           // read with the container
};

// Reads file bytes [offset, offset + n) into `out`: eOk, eDwgNeedsRecovery when the file ends
// first, eFileAccessErr on a read error.
using ReadBytes =
    std::function<Acad::ErrorStatus(std::uint64_t offset, std::size_t n, std::uint8_t* out)>;

// Reads the container of a file of `fileSize` bytes whose first 0x100 bytes are `start`. The
// statuses: eDwgNeedsRecovery (the file ends before its second header copy), eDwgCRCError (a
// CRC or page sum does not match), eBadDwgHeader (a header or page of a kind not known here),
// eSecErrorDecryptingData (the summary section is encrypted), eDwgCorrupt (sizes, offsets or
// numbers that contradict each other or the file), eFileAccessErr, eOutOfMemory (thrown
// std::bad_alloc is the caller's to turn into it).
Acad::ErrorStatus readContainer(const ReadBytes& read, std::uint64_t fileSize,
                                const std::uint8_t* start, Container& out);

// Reads and checks the system page of `type` at `address`, decompressed into `data`.
Acad::ErrorStatus readSystemPage(const ReadBytes& read, std::uint64_t fileSize,
                                 std::uint64_t address, std::uint32_t type, std::string& data);

// The descriptor named `name` in the section map of `c`: its offset in c.sectionMap, or
// std::string::npos when there is none.
std::size_t findSection(const Container& c, const char* name);

// Reads the section whose descriptor starts at `descriptor` in c.sectionMap: checks and places
// its pages, decompressed when the section is compressed, and cuts it to its size, which must
// not exceed `maxSize`. Statuses as readContainer's.
Acad::ErrorStatus readSection(const ReadBytes& read, std::uint64_t fileSize, const Container& c,
                              std::size_t descriptor, std::uint64_t maxSize, Section& out);

// Parses a decompressed page map into entries with their addresses. False when it is cut
// short or names page 0.
bool parsePageMap(const std::string& data, std::vector<MapEntry>& out);

// The checksums of a data page: fills words 6 and 7 of the plain 32-byte `header` for the
// `n` stored bytes `data`.
void sealDataPage(std::uint8_t* header, const std::uint8_t* data, std::size_t n);

// The page sum of a system page's 20-byte header (checksum field taken as 0) and stored bytes.
std::uint32_t systemPageSum(const std::uint8_t* header, const std::uint8_t* stored, std::size_t n);

} // namespace dwg
} // namespace minihost
