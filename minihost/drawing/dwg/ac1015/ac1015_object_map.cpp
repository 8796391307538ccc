#include "minihost/drawing/dwg/ac1015/ac1015_object_map.h"

#include "minihost/drawing/dwg/header/dwg_header.h"

namespace minihost {
namespace dwg {
namespace ac1015 {
namespace {

constexpr std::size_t kSizeField = 2, kCrcField = 2;

std::uint16_t getBigEndian16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

// The most bytes a block holds, its size field included (real maps stay below 2040).
constexpr std::size_t kMaxMapBlock = 2040;

// A modular character: bytes of 7 value bits, least significant group first, 0x80 meaning
// another byte follows; when `signedValue`, the last byte's 0x40 is the sign. Reads from
// data[at] on, before `end`; false when it runs past `end` or holds more than 64 bits.
bool readModularChar(const std::uint8_t* data, std::size_t end, std::size_t& at, bool signedValue,
                     std::int64_t& value) {
    std::uint64_t v = 0;
    for (unsigned shift = 0; at < end && shift < 63; shift += 7) {
        const std::uint8_t byte = data[at++];
        if (byte & 0x80) {
            v |= std::uint64_t{byte & 0x7Fu} << shift;
            continue;
        }
        if (signedValue) {
            v |= std::uint64_t{byte & 0x3Fu} << shift;
            value = (byte & 0x40) ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
        } else {
            v |= std::uint64_t{byte & 0x7Fu} << shift;
            value = static_cast<std::int64_t>(v);
        }
        return true;
    }
    return false;
}

} // namespace

ObjectMap::ObjectMap(const ReadBytes& read, std::uint64_t fileSize, std::uint64_t address,
                     std::uint64_t size)
    : mRead(read), mFileSize(fileSize), mNext(address), mEnd(address + size) {}

Acad::ErrorStatus ObjectMap::find(std::uint64_t handle, std::uint64_t& address) {
    bool found = false;
    for (std::size_t block = 0;; ++block) {
        if (block == mBlockEnd.size()) {
            if (mDone)
                return Acad::eDwgCorrupt; // the drawing names an object it does not hold
            bool last = false;
            const Acad::ErrorStatus status = readBlock(last);
            if (status != Acad::eOk)
                return status;
            if (last) {
                mDone = true;
                if (mNext != mEnd)
                    return Acad::eDwgCorrupt;
            }
        }
        const Acad::ErrorStatus status = findInBlock(block, handle, found, address);
        if (status != Acad::eOk || found)
            return status;
    }
}

Acad::ErrorStatus ObjectMap::readBlock(bool& last) {
    std::uint8_t block[kMaxMapBlock + kCrcField];
    if (mNext > mEnd || mEnd - mNext < kSizeField + kCrcField)
        return Acad::eDwgCorrupt;
    Acad::ErrorStatus status = mRead(mNext, kSizeField, block);
    if (status != Acad::eOk)
        return status;
    const std::size_t n = getBigEndian16(block);
    if (n < kSizeField || n > kMaxMapBlock || mEnd - mNext < n + kCrcField)
        return Acad::eDwgCorrupt;
    if ((status = mRead(mNext + kSizeField, n, block + kSizeField)) != Acad::eOk)
        return status;
    if (headerCrc(block, n) != getBigEndian16(block + n))
        return Acad::eDwgCRCError;
    mNext += n + kCrcField;
    last = n == kSizeField;
    mPairs.append(reinterpret_cast<const char*>(block) + kSizeField, n - kSizeField);
    mBlockEnd.push_back(mPairs.size());
    return Acad::eOk;
}

// Each block counts its handles and addresses from 0.
Acad::ErrorStatus ObjectMap::findInBlock(std::size_t block, std::uint64_t handle, bool& found,
                                         std::uint64_t& address) const {
    const std::uint8_t* pairs = reinterpret_cast<const std::uint8_t*>(mPairs.data());
    const std::int64_t limit = static_cast<std::int64_t>(mFileSize);
    std::uint64_t h = 0;
    std::int64_t a = 0;
    for (std::size_t at = block == 0 ? 0 : mBlockEnd[block - 1]; at < mBlockEnd[block];) {
        std::int64_t handleDelta = 0, addressDelta = 0;
        if (!readModularChar(pairs, mBlockEnd[block], at, false, handleDelta) ||
            !readModularChar(pairs, mBlockEnd[block], at, true, addressDelta) ||
            addressDelta > limit || addressDelta < -limit)
            return Acad::eDwgCorrupt;
        h += static_cast<std::uint64_t>(handleDelta);
        a += addressDelta;
        if (a < 0 || a >= limit)
            return Acad::eDwgCorrupt;
        if (h == handle) {
            found = true;
            address = static_cast<std::uint64_t>(a);
            return Acad::eOk;
        }
    }
    return Acad::eOk;
}

} // namespace ac1015
} // namespace dwg
} // namespace minihost
