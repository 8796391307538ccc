#include "minihost/drawing/dwg/ac1015/ac1015_objects.h"

#include <cstring>

#include "minihost/drawing/dwg/ac1015/ac1015_sections.h"
#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/header/dwg_bits.h"
#include "minihost/drawing/dwg/header/dwg_header.h"

namespace minihost {
namespace dwg {
namespace ac1015 {
namespace {

constexpr std::size_t kMaxSizeWords = 2; // 30 bits: more than kMaxObjectSize already
constexpr std::size_t kCrcField = 2;

// The size before an object: 16-bit words of 15 value bits, 0x8000 meaning another follows.
Acad::ErrorStatus readObjectSize(const ReadBytes& read, std::uint64_t fileSize,
                                 std::uint64_t address, std::uint8_t* field, std::size_t& fieldSize,
                                 std::uint64_t& size) {
    size = 0;
    for (std::size_t word = 0; word < kMaxSizeWords; ++word) {
        const std::uint64_t at = address + 2 * word;
        if (!fits(at, 2, fileSize))
            return Acad::eDwgCorrupt;
        const Acad::ErrorStatus status = read(at, 2, field + 2 * word);
        if (status != Acad::eOk)
            return status;
        const std::uint16_t v = get16(field + 2 * word);
        size |= std::uint64_t{v & 0x7FFFu} << (15 * word);
        if (!(v & 0x8000)) {
            fieldSize = 2 * (word + 1);
            return Acad::eOk;
        }
    }
    return Acad::eDwgCorrupt;
}

// The handle a reference names, seen from the object `own`; false for a code that names none.
bool referencedHandle(const Handle& ref, std::uint64_t own, std::uint64_t& out) {
    switch (ref.code) {
    case 2:
    case 3:
    case 4:
    case 5:
        out = ref.value;
        return true;
    case 6:
        out = own + 1;
        return true;
    case 8:
        out = own - 1;
        return true;
    case 0xA:
        out = own + ref.value;
        return true;
    case 0xC:
        out = own - ref.value;
        return true;
    default:
        return false;
    }
}

constexpr std::uint32_t kAbsent = UINT32_MAX;

// Reads the dictionary's names, with or without the hard-owner byte before them; `index` gets
// the position of `key` among them (kAbsent when it is not one). True when they end exactly
// where the handle stream starts.
bool readNames(const std::string& data, Layout layout, const ObjectStart& start, bool ownerByte,
               const char* key, std::uint32_t& index) {
    BitReader in(bytes(data), data.size(), start.dataBit, start.handleStream);
    const std::uint32_t count = in.bl();
    if (layout == Layout::kAC1015)
        in.bs(); // cloning flag
    if (ownerByte)
        in.rc();
    index = kAbsent;
    for (std::uint32_t i = 0; i < count && in.ok(); ++i)
        if (withoutTrailingZeros(in.tv()) == key && index == kAbsent)
            index = i;
    return in.ok() && in.position() == start.handleStream;
}

} // namespace

Acad::ErrorStatus readObject(const ReadBytes& read, std::uint64_t fileSize, std::uint64_t address,
                             std::string& data) {
    std::uint8_t field[2 * kMaxSizeWords];
    std::size_t fieldSize = 0;
    std::uint64_t size = 0;
    Acad::ErrorStatus status = readObjectSize(read, fileSize, address, field, fieldSize, size);
    if (status != Acad::eOk)
        return status;
    if (size > kMaxObjectSize || !fits(address + fieldSize, size + kCrcField, fileSize))
        return Acad::eDwgCorrupt;
    // The CRC covers the size field and the data.
    std::string framed(fieldSize + static_cast<std::size_t>(size) + kCrcField, '\0');
    std::memcpy(&framed[0], field, fieldSize);
    status = read(address + fieldSize, static_cast<std::size_t>(size) + kCrcField,
                  bytes(framed) + fieldSize);
    if (status != Acad::eOk)
        return status;
    const std::size_t crcAt = framed.size() - kCrcField;
    if (headerCrc(bytes(framed), crcAt) != get16(bytes(framed) + crcAt))
        return Acad::eDwgCRCError;
    data.assign(framed, fieldSize, static_cast<std::size_t>(size));
    return Acad::eOk;
}

Acad::ErrorStatus readObjectStart(const std::string& data, Layout layout, std::uint64_t handle,
                                  ObjectStart& out) {
    BitReader in(bytes(data), data.size());
    out.type = in.bs();
    if (layout == Layout::kAC1015)
        out.handleStream = in.rl();
    const Handle own = in.h();
    out.handle = own.value;
    // Extended data: a size, the application's handle, that many bytes; a size 0 ends it.
    for (std::uint16_t n = in.bs(); n != 0 && in.ok(); n = in.bs()) {
        in.h();
        for (std::uint16_t i = 0; i < n && in.ok(); ++i)
            in.rc();
    }
    if (layout == Layout::kAC1014)
        out.handleStream = in.rl();
    out.reactors = in.bl();
    out.dataBit = in.position();
    if (!in.ok() || out.handle != handle || out.handleStream > in.end() ||
        out.handleStream < out.dataBit)
        return Acad::eDwgCorrupt;
    return Acad::eOk;
}

Acad::ErrorStatus findDictionaryEntry(const std::string& data, Layout layout,
                                      const ObjectStart& start, const char* key, bool& found,
                                      std::uint64_t& entry) {
    found = false;
    if (start.type != kDictionaryType)
        return Acad::eDwgCorrupt;
    // Most writers store a hard-owner byte before the names, some do not: the names must end
    // exactly where the handle stream starts.
    std::uint32_t index = kAbsent;
    if (!readNames(data, layout, start, true, key, index) &&
        !readNames(data, layout, start, false, key, index))
        return Acad::eDwgCorrupt;
    if (index == kAbsent)
        return Acad::eOk;
    // The handle stream: the owner, the reactors, the extension dictionary, then the entries.
    BitReader in(bytes(data), data.size(), start.handleStream, std::uint64_t{data.size()} * 8);
    in.h();
    for (std::uint32_t i = 0; i < start.reactors && in.ok(); ++i)
        in.h();
    in.h();
    Handle ref;
    for (std::uint32_t i = 0; i <= index && in.ok(); ++i)
        ref = in.h();
    if (!in.ok() || !referencedHandle(ref, start.handle, entry))
        return Acad::eDwgCorrupt;
    found = true;
    return Acad::eOk;
}

Acad::ErrorStatus readRecordItems(const std::string& data, Layout layout, const ObjectStart& start,
                                  std::vector<TextItem>& texts) {
    BitReader in(bytes(data), data.size(), start.dataBit, start.handleStream);
    const std::uint32_t m = in.bl();
    if (!in.ok())
        return Acad::eDwgCorrupt;
    const Acad::ErrorStatus status = readItems(in, m, texts);
    if (status != Acad::eOk)
        return status;
    if (layout == Layout::kAC1015)
        in.bs(); // cloning flag
    if (!in.ok() || in.position() != start.handleStream)
        return Acad::eDwgCorrupt;
    return Acad::eOk;
}

} // namespace ac1015
} // namespace dwg
} // namespace minihost
