#include "minihost/drawing/dwg/container/dwg_checks.h"

#include <zlib.h>

#include "minihost/drawing/dwg/dwg_bytes.h"

namespace minihost {
namespace dwg {

std::uint32_t pageSum(std::uint32_t seed, const std::uint8_t* data, std::size_t n) {
    // Two running sums reduced once per chunk: the chunk is short enough that they cannot
    // overflow 32 bits before the reduction.
    constexpr std::size_t kChunk = 0x15B0;
    constexpr std::uint32_t kModulus = 0xFFF1;
    std::uint32_t s1 = seed & 0xFFFF, s2 = seed >> 16;
    while (n > 0) {
        std::size_t chunk = n < kChunk ? n : kChunk;
        for (std::size_t i = 0; i < chunk; ++i) {
            s1 += data[i];
            s2 += s1;
        }
        s1 %= kModulus;
        s2 %= kModulus;
        data += chunk;
        n -= chunk;
    }
    return s2 << 16 | s1;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t n) {
    uLong crc = ::crc32(0L, Z_NULL, 0);
    while (n > 0) {
        uInt chunk = n > (1u << 30) ? (1u << 30) : static_cast<uInt>(n);
        crc = ::crc32(crc, data, chunk);
        data += chunk;
        n -= chunk;
    }
    return static_cast<std::uint32_t>(crc);
}

void maskFileHeader(std::uint8_t* header) {
    std::uint32_t state = 1;
    for (std::size_t i = 0; i < kFileHeaderSize; ++i) {
        state = state * 0x343FDu + 0x269EC3u;
        header[i] ^= static_cast<std::uint8_t>(state >> 16);
    }
}

void maskPageHeader(std::uint8_t* header, std::uint64_t address) {
    std::uint32_t key = 0x4164536Bu ^ static_cast<std::uint32_t>(address);
    for (std::size_t word = 0; word < kPageHeaderSize / 4; ++word)
        put32(header + 4 * word, get32(header + 4 * word) ^ key);
}

} // namespace dwg
} // namespace minihost
