// The check values of binary drawings of AC1021 and the Reed-Solomon layout that carries their
// protected data: de-interleaving code words, the two CRC-64 variants, the page checksum. Every
// check value visits its bytes in the same shuffled order (see forEachShuffled).
#pragma once

#include <cstddef>
#include <cstdint>

namespace minihost {
namespace dwg {
namespace ac1021 {

constexpr std::size_t kCodeWord = 255;   // bytes of one Reed-Solomon code word
constexpr std::size_t kSystemData = 239; // data bytes per code word: file header, system pages
constexpr std::size_t kPageData = 251;   // data bytes per code word: data pages

// Takes the first `n` data bytes (n <= codeWords * k) out of `codeWords` interleaved code words
// of `k` data bytes each at `stored` (byte j of word i at i + j * codeWords) into `out`. Parity
// is not used: the reader corrects nothing, the check values find damage.
void deinterleave(const std::uint8_t* stored, std::size_t codeWords, std::size_t k, std::size_t n,
                  std::uint8_t* out);

// Calls visit(byte) for each of data[0, n) in the order the check values take them: each full
// group of 8 as 6,7,4,5,2,3,0,1; a last group of r < 8 in order when r <= 3, else 2,3,0,1,4..
template <typename Visit>
void forEachShuffled(const std::uint8_t* data, std::size_t n, Visit&& visit) {
    static const std::uint8_t kGroup[8] = {6, 7, 4, 5, 2, 3, 0, 1};
    static const std::uint8_t kTail[4] = {2, 3, 0, 1}; // a last group of 4 to 7 starts so
    std::size_t at = 0;
    for (; n - at >= 8; at += 8)
        for (std::uint8_t i : kGroup)
            visit(data[at + i]);
    const std::size_t r = n - at;
    if (r >= 4) {
        for (std::uint8_t i : kTail)
            visit(data[at + i]);
        for (std::size_t i = 4; i < r; ++i)
            visit(data[at + i]);
    } else {
        for (std::size_t i = 0; i < r; ++i)
            visit(data[at + i]);
    }
}

// The reflected CRC-64 of polynomial 0xAD93D23594C935A9, continued from `crc`, over data[0, n)
// in file order (no shuffling, no final inversion).
std::uint64_t crc64Reflected(std::uint64_t crc, const std::uint8_t* data, std::size_t n);
// The MSB-first CRC-64 of polynomial 0x42F0E1EBA9EA3693 likewise.
std::uint64_t crc64Forward(std::uint64_t crc, const std::uint8_t* data, std::size_t n);

// The page CRC (data pages, and the maps' values in the file header) of data[0, n), shuffled,
// its start value made from `seed` and n.
std::uint64_t pageCrc(std::uint64_t seed, const std::uint8_t* data, std::size_t n);

// The MSB-first CRC-64 of data[0, n), shuffled, from `start` (the decoded header and the
// compressed header payload).
std::uint64_t headerCrc(std::uint64_t start, const std::uint8_t* data, std::size_t n);

// The 32-bit checksum of a decompressed data page.
std::uint32_t pageChecksum(std::uint64_t seed, const std::uint8_t* data, std::size_t n);

} // namespace ac1021
} // namespace dwg
} // namespace minihost
