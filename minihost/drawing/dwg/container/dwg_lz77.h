// The LZ77 variant that compresses the system pages and compressed sections of binary
// drawings (AC1018 and later): a checked decoder, and the literal-only encoding writers use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace minihost {
namespace dwg {

// Decodes the stream in[0, n) into `out` (replaced). False when the stream is malformed: it
// reads past its end, copies from before the start of the output, or would produce more than
// `limit` bytes. The caller compares the size produced with the size it expects; `limit` also
// bounds the memory used, so it must come from the caller's own cap, not the file alone.
bool decompress(const std::uint8_t* in, std::size_t n, std::size_t limit, std::string& out);

// A stream that decodes to data[0, n): one literal run and the end mark. n must be 0 or at
// least 4 (shorter data cannot be written as literals alone).
std::string literalStream(const std::uint8_t* data, std::size_t n);

// The length literalStream gives for n bytes, without building it.
std::size_t literalStreamLength(std::size_t n);

// A stream that decodes to data[0, n) zero-padded to `padded` bytes (n <= padded): the data and
// one zero as literals, then one match repeating that zero, so that a page of a compressed
// section takes little more than its data. Literals alone where the match could not be written.
std::string paddedStream(const std::uint8_t* data, std::size_t n, std::size_t padded);

} // namespace dwg
} // namespace minihost
