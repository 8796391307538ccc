#include "minihost/drawing/dwg/header/dwg_bits.h"

#include <algorithm>
#include <cstring>

namespace minihost {
namespace dwg {

BitReader::BitReader(const std::uint8_t* data, std::size_t size)
    : mData(data), mPos(0), mEnd(std::uint64_t{size} * 8) {}

BitReader::BitReader(const std::uint8_t* data, std::size_t size, std::uint64_t begin,
                     std::uint64_t end)
    : mData(data) {
    mEnd = std::min(end, std::uint64_t{size} * 8);
    mPos = std::min(begin, mEnd);
}

bool BitReader::take(std::uint64_t n) {
    if (mOk && n <= mEnd - mPos)
        return true;
    fail();
    return false;
}

void BitReader::fail() {
    mOk = false;
    mPos = mEnd;
}

// The 8 bits from `pos`, which lie before mEnd.
std::uint8_t BitReader::byteAt(std::uint64_t pos) const {
    const std::uint8_t* p = mData + (pos >> 3);
    const unsigned shift = pos & 7;
    if (shift == 0)
        return p[0];
    return static_cast<std::uint8_t>(p[0] << shift | p[1] >> (8 - shift));
}

std::uint64_t BitReader::bits(unsigned n) {
    if (n > 64) {
        fail();
        return 0;
    }
    if (!take(n))
        return 0;
    std::uint64_t v = 0;
    for (; n >= 8; n -= 8, mPos += 8)
        v = v << 8 | byteAt(mPos);
    for (; n > 0; --n, ++mPos)
        v = v << 1 | ((mData[mPos >> 3] >> (7 - (mPos & 7))) & 1u);
    return v;
}

std::uint16_t BitReader::rs() {
    const unsigned low = rc();
    return static_cast<std::uint16_t>(low | unsigned{rc()} << 8);
}

std::uint32_t BitReader::rl() {
    const std::uint32_t low = rs();
    return low | std::uint32_t{rs()} << 16;
}

std::uint64_t BitReader::rll() {
    const std::uint64_t low = rl();
    return low | std::uint64_t{rl()} << 32;
}

double BitReader::rd() {
    const std::uint64_t raw = rll();
    double v;
    std::memcpy(&v, &raw, sizeof v);
    return v;
}

std::uint16_t BitReader::bs() {
    switch (bb()) {
    case 0:
        return rs();
    case 1:
        return rc();
    case 2:
        return 0;
    default:
        return 256;
    }
}

std::uint32_t BitReader::bl() {
    switch (bb()) {
    case 0:
        return rl();
    case 1:
        return rc();
    case 2:
        return 0;
    default:
        fail(); // code 3 is not a BL
        return 0;
    }
}

std::uint64_t BitReader::bll() {
    const unsigned n = static_cast<unsigned>(bits(3));
    std::uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i)
        v |= std::uint64_t{rc()} << (8 * i);
    return v;
}

double BitReader::bd() {
    switch (bb()) {
    case 0:
        return rd();
    case 1:
        return 1.0;
    case 2:
        return 0.0;
    default:
        fail(); // code 3 is not a BD
        return 0.0;
    }
}

Point2 BitReader::rd2() {
    Point2 p;
    p.x = rd();
    p.y = rd();
    return p;
}

Point3 BitReader::bd3() {
    Point3 p;
    p.x = bd();
    p.y = bd();
    p.z = bd();
    return p;
}

DateTime BitReader::timebll() {
    DateTime t;
    t.days = bl();
    t.milliseconds = bl();
    return t;
}

Handle BitReader::h() {
    Handle handle;
    const std::uint8_t first = rc();
    handle.code = first >> 4;
    const unsigned n = first & 0x0F;
    if (n > 8) {
        fail(); // a handle has at most 8 bytes
        return Handle{};
    }
    for (unsigned i = 0; i < n; ++i)
        handle.value = handle.value << 8 | rc();
    return handle;
}

Color BitReader::cmc(bool inlineTexts) {
    Color c;
    c.index = bs();
    c.word = bl();
    c.flags = rc();
    if (inlineTexts && (c.flags & 1))
        c.name = tv();
    if (inlineTexts && (c.flags & 2))
        c.book = tv();
    return c;
}

std::string BitReader::units(std::uint64_t count, unsigned unitBytes) {
    // Checked before anything is allocated: the count is at most 65 535 anyway.
    if (!take(count * unitBytes * 8))
        return std::string();
    std::string out(static_cast<std::size_t>(count * unitBytes), '\0');
    if (unitBytes == 1) {
        for (char& c : out)
            c = static_cast<char>(rc());
    } else {
        for (std::size_t i = 0; i < out.size(); i += 2) {
            const std::uint16_t unit = rs();
            out[i] = static_cast<char>(unit & 0xFF);
            out[i + 1] = static_cast<char>(unit >> 8);
        }
    }
    return out;
}

std::string BitReader::tv() {
    const std::uint16_t count = bs();
    return units(count, 1);
}

std::string BitReader::tu() {
    const std::uint16_t count = bs();
    return units(count, 2);
}

void BitWriter::byte(std::uint8_t v) {
    const unsigned used = mBits & 7;
    if (used == 0) {
        mBytes += static_cast<char>(v);
    } else {
        mBytes.back() = static_cast<char>(static_cast<std::uint8_t>(mBytes.back()) | v >> used);
        mBytes += static_cast<char>(static_cast<std::uint8_t>(v << (8 - used)));
    }
    mBits += 8;
}

void BitWriter::bits(std::uint64_t value, unsigned n) {
    for (; n >= 8; n -= 8)
        byte(static_cast<std::uint8_t>(value >> (n - 8)));
    for (; n > 0; --n, ++mBits) {
        if ((mBits & 7) == 0)
            mBytes += '\0';
        if ((value >> (n - 1)) & 1u)
            mBytes.back() = static_cast<char>(mBytes.back() | 0x80 >> (mBits & 7));
    }
}

void BitWriter::rs(std::uint16_t v) {
    rc(static_cast<std::uint8_t>(v & 0xFF));
    rc(static_cast<std::uint8_t>(v >> 8));
}

void BitWriter::bs(std::uint16_t v) {
    if (v == 0) {
        bits(2, 2);
    } else if (v == 256) {
        bits(3, 2);
    } else if (v < 256) {
        bits(1, 2);
        rc(static_cast<std::uint8_t>(v));
    } else {
        bits(0, 2);
        rs(v);
    }
}

bool BitWriter::tv(const std::string& stored) {
    if (stored.size() > 0xFFFF)
        return false;
    bs(static_cast<std::uint16_t>(stored.size()));
    for (char c : stored)
        rc(static_cast<std::uint8_t>(c));
    return true;
}

bool BitWriter::tu(const std::string& stored) {
    if (stored.size() % 2 != 0 || stored.size() / 2 > 0xFFFF)
        return false;
    bs(static_cast<std::uint16_t>(stored.size() / 2));
    for (char c : stored)
        rc(static_cast<std::uint8_t>(c)); // little-endian units: RS is its low byte first
    return true;
}

bool BitWriter::copy(const std::uint8_t* data, std::size_t size, std::uint64_t begin,
                     std::uint64_t end) {
    if (begin > end || end > std::uint64_t{size} * 8)
        return false;
    if ((begin & 7) == 0 && (mBits & 7) == 0) {
        const std::uint64_t whole = (end - begin) / 8;
        mBytes.append(reinterpret_cast<const char*>(data + begin / 8),
                      static_cast<std::size_t>(whole));
        mBits += whole * 8;
        begin += whole * 8;
    }
    BitReader in(data, size, begin, end);
    while (in.left() >= 8)
        byte(in.rc());
    const auto rest = static_cast<unsigned>(in.left());
    bits(in.bits(rest), rest);
    return true;
}

} // namespace dwg
} // namespace minihost
