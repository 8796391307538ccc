#include "minihost/drawing/dwg/ac1021/ac1021_checks.h"

#include <array>

namespace minihost {
namespace dwg {
namespace ac1021 {
namespace {

using Table = std::array<std::uint64_t, 256>;

Table reflectedTable() {
    // The polynomial with its bits reversed, for the right-shifting form.
    constexpr std::uint64_t kReversed = 0x95AC9329AC4BC9B5;
    Table t{};
    for (std::uint64_t i = 0; i < 256; ++i) {
        std::uint64_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = c & 1 ? (c >> 1) ^ kReversed : c >> 1;
        t[i] = c;
    }
    return t;
}

Table forwardTable() {
    constexpr std::uint64_t kPolynomial = 0x42F0E1EBA9EA3693;
    Table t{};
    for (std::uint64_t i = 0; i < 256; ++i) {
        std::uint64_t c = i << 56;
        for (int bit = 0; bit < 8; ++bit)
            c = c >> 63 ? (c << 1) ^ kPolynomial : c << 1;
        t[i] = c;
    }
    return t;
}

const Table& reflected() {
    static const Table t = reflectedTable();
    return t;
}

const Table& forward() {
    static const Table t = forwardTable();
    return t;
}

// One step of the generator both start values come from.
std::uint32_t step(std::uint32_t s) {
    return s * 0x343FDu + 0x269EC3u;
}

} // namespace

void deinterleave(const std::uint8_t* stored, std::size_t codeWords, std::size_t k, std::size_t n,
                  std::uint8_t* out) {
    for (std::size_t at = 0; at < n; ++at)
        out[at] = stored[at / k + (at % k) * codeWords];
}

std::uint64_t crc64Reflected(std::uint64_t crc, const std::uint8_t* data, std::size_t n) {
    const Table& t = reflected();
    for (std::size_t i = 0; i < n; ++i)
        crc = t[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::uint64_t crc64Forward(std::uint64_t crc, const std::uint8_t* data, std::size_t n) {
    const Table& t = forward();
    for (std::size_t i = 0; i < n; ++i)
        crc = t[((crc >> 56) ^ data[i]) & 0xFF] ^ (crc << 8);
    return crc;
}

std::uint64_t pageCrc(std::uint64_t seed, const std::uint8_t* data, std::size_t n) {
    const std::uint32_t s = step(static_cast<std::uint32_t>(seed + n));
    const std::uint32_t t = step(s);
    std::uint64_t crc = ~(std::uint64_t{s} | std::uint64_t{t} << 32);
    const Table& table = reflected();
    forEachShuffled(data, n, [&](std::uint8_t b) { crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8); });
    return crc;
}

std::uint64_t headerCrc(std::uint64_t start, const std::uint8_t* data, std::size_t n) {
    std::uint64_t crc = start;
    const Table& table = forward();
    forEachShuffled(data, n,
                    [&](std::uint8_t b) { crc = table[((crc >> 56) ^ b) & 0xFF] ^ (crc << 8); });
    return crc;
}

std::uint32_t pageChecksum(std::uint64_t seed, const std::uint8_t* data, std::size_t n) {
    constexpr std::size_t kChunk = 0x15B0; // a multiple of 8: chunks keep the groups whole
    constexpr std::uint32_t kModulus = 0xFFF1;
    const std::uint32_t x = step(static_cast<std::uint32_t>(seed + n));
    std::uint32_t s1 = x & 0xFFFF, s2 = x >> 16;
    for (std::size_t at = 0; at < n; at += kChunk) {
        const std::size_t chunk = n - at < kChunk ? n - at : kChunk;
        forEachShuffled(data + at, chunk, [&](std::uint8_t b) {
            s1 += b;
            s2 += s1;
        });
        s1 %= kModulus;
        s2 %= kModulus;
    }
    return s2 << 16 | s1;
}

} // namespace ac1021
} // namespace dwg
} // namespace minihost
