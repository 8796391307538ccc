#include "minihost/drawing/dwg/ac1015/ac1015_sections.h"

#include <cstring>

#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/header/dwg_bits.h"
#include "minihost/drawing/dwg/header/dwg_header.h"

namespace minihost {
namespace dwg {
namespace ac1015 {
namespace {

constexpr std::size_t kSentinelSize = 16;
const std::uint8_t kFileHeaderEnd[kSentinelSize] = {0x95, 0xA0, 0x4E, 0x28, 0x99, 0x82, 0x1A, 0xE5,
                                                    0x5E, 0x41, 0xE0, 0x5F, 0x9D, 0x3A, 0x4D, 0x00};
const std::uint8_t kHeaderStart[kSentinelSize] = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                                  0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
const std::uint8_t kHeaderEnd[kSentinelSize] = {0x30, 0x84, 0xE0, 0xDC, 0x02, 0x21, 0xC7, 0x56,
                                                0xA0, 0x83, 0x97, 0x47, 0xB1, 0x92, 0xCC, 0xA0};
const std::uint8_t kClassesStart[kSentinelSize] = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                                   0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};
const std::uint8_t kClassesEnd[kSentinelSize] = {0x72, 0x5E, 0x3B, 0x47, 0x3B, 0x56, 0x07, 0x3A,
                                                 0x3F, 0x23, 0x0B, 0xA0, 0x18, 0x30, 0x49, 0x75};

constexpr std::size_t kLocatorCount = 0x15, kLocators = 0x19, kLocatorSize = 9;
constexpr std::size_t kSizeField = 4, kCrcField = 2;
// Neither section a CAD program writes comes near this; a larger one is taken as damage.
constexpr std::uint64_t kMaxSection = 16u << 20;

} // namespace

Acad::ErrorStatus readFileHeader(const std::uint8_t* start, std::size_t n, std::uint64_t fileSize,
                                 FileHeader& out) {
    if (n < kLocators)
        return Acad::eDwgCorrupt;
    const std::uint32_t count = get32(start + kLocatorCount);
    const std::size_t crcAt = kLocators + kLocatorSize * std::size_t{count};
    if (count > (n - kLocators) / kLocatorSize || n - crcAt < kCrcField + kSentinelSize)
        return Acad::eDwgCorrupt;
    if (headerCrc(start, crcAt) != get16(start + crcAt))
        return Acad::eDwgCRCError;
    if (std::memcmp(start + crcAt + kCrcField, kFileHeaderEnd, kSentinelSize) != 0)
        return Acad::eDwgCorrupt;
    bool seen[3] = {};
    Locator* wanted[3] = {&out.header, &out.classes, &out.objectMap};
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = start + kLocators + kLocatorSize * i;
        const Locator l{get32(p + 1), get32(p + 5)};
        // Every section lies in the file, also those not read here: a shorter file was cut.
        if (!fits(l.address, l.size, fileSize))
            return Acad::eDwgNeedsRecovery;
        if (p[0] <= 2 && !seen[p[0]]) {
            *wanted[p[0]] = l;
            seen[p[0]] = true;
        }
    }
    return seen[0] && seen[1] && seen[2] ? Acad::eOk : Acad::eDwgCorrupt;
}

Acad::ErrorStatus readFramedSection(const ReadBytes& read, const Locator& where, SectionKind kind,
                                    std::string& data) {
    const bool header = kind == SectionKind::kHeader;
    std::uint8_t head[kSentinelSize + kSizeField];
    if (where.size < sizeof head)
        return Acad::eDwgCorrupt;
    Acad::ErrorStatus status = read(where.address, sizeof head, head);
    if (status != Acad::eOk)
        return status;
    const std::uint64_t size = get32(head + kSentinelSize);
    if (std::memcmp(head, header ? kHeaderStart : kClassesStart, kSentinelSize) != 0 ||
        size > kMaxSection || size + kCrcField + kSentinelSize > where.size - sizeof head)
        return Acad::eDwgCorrupt;
    // The CRC covers the size field and the data.
    std::string framed(kSizeField + static_cast<std::size_t>(size) + kCrcField + kSentinelSize,
                       '\0');
    std::memcpy(&framed[0], head + kSentinelSize, kSizeField);
    status =
        read(where.address + sizeof head, framed.size() - kSizeField, bytes(framed) + kSizeField);
    if (status != Acad::eOk)
        return status;
    const std::size_t crcAt = kSizeField + static_cast<std::size_t>(size);
    if (headerCrc(bytes(framed), crcAt) != get16(bytes(framed) + crcAt))
        return Acad::eDwgCRCError;
    if (std::memcmp(bytes(framed) + crcAt + kCrcField, header ? kHeaderEnd : kClassesEnd,
                    kSentinelSize) != 0)
        return Acad::eDwgCorrupt;
    data.assign(framed, kSizeField, static_cast<std::size_t>(size));
    return Acad::eOk;
}

std::string withoutTrailingZeros(std::string text) {
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

bool isClassNamed(const std::string& classes, std::uint16_t number, const char* name) {
    BitReader in(bytes(classes), classes.size());
    while (in.left() >= 8) {
        const std::uint16_t classNumber = in.bs();
        in.bs(); // flags
        in.tv(); // application
        in.tv(); // class name
        const std::string recordName = withoutTrailingZeros(in.tv());
        in.b();
        in.bs();
        if (!in.ok())
            return false;
        if (classNumber == number && recordName == name)
            return true;
    }
    return false;
}

} // namespace ac1015
} // namespace dwg
} // namespace minihost
