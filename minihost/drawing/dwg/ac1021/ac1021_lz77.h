// The LZ77 variant of AC1021 drawings (system pages, the file header's payload, compressed data
// pages): a checked decoder. The stream has no end mark; it ends where its input does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace minihost {
namespace dwg {
namespace ac1021 {

// The most output one input byte can give: a match of five bytes copies at most 65 791.
constexpr std::size_t kMaxExpansion = 0x3400;

// Decodes in[0, n) into `out` (replaced). False when the stream reads past its end, copies
// from before the start of the output or from where nothing was written yet, or would produce
// more than `limit` bytes; `limit` bounds the memory used and must come from the caller's cap.
bool decompress(const std::uint8_t* in, std::size_t n, std::size_t limit, std::string& out);

} // namespace ac1021
} // namespace dwg
} // namespace minihost
