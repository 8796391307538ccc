// The check values and masks of the binary drawing container (AC1018 and later): the page sum
// that guards system and data pages, the file header's CRC-32, and the key streams that mask
// the file header and each data page header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace minihost {
namespace dwg {

constexpr std::size_t kFileHeaderSize = 0x6C; // the masked file header at 0x80 and its copy
constexpr std::size_t kPageHeaderSize = 32;   // the masked header of a data page

// The page sum of `data` continued from `seed` (0 to start).
std::uint32_t pageSum(std::uint32_t seed, const std::uint8_t* data, std::size_t n);

// The CRC-32 of `data` (zlib's).
std::uint32_t crc32(const std::uint8_t* data, std::size_t n);

// XORs the kFileHeaderSize bytes of a file header with their key stream: masks a plain header
// and unmasks a stored one.
void maskFileHeader(std::uint8_t* header);

// XORs the 32-byte header of the data page at file address `address`, both ways.
void maskPageHeader(std::uint8_t* header, std::uint64_t address);

} // namespace dwg
} // namespace minihost
