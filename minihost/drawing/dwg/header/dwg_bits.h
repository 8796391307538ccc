// The bit codes of a binary drawing's bit streams (the header variables and, in later
// versions, objects): a reader over a range of bits that fails cleanly at its end, and a writer
// that appends bits. Bit p is bit 7 - (p & 7) of byte p >> 3: the most significant bit of a
// byte comes first, and a field of several bits starts with its most significant bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace minihost {
namespace dwg {

struct Point2 {
    double x = 0, y = 0;
};
struct Point3 {
    double x = 0, y = 0, z = 0;
};
struct Handle {
    std::uint8_t code = 0; // the reference code (high nibble of the first byte)
    std::uint64_t value = 0;
};
struct DateTime {
    std::uint32_t days = 0, milliseconds = 0;
};
// A colour. Its texts are read in place only where the stream holds them (AC1018); later
// versions keep them in a string stream of their own, which `flags` announces.
struct Color {
    std::uint16_t index = 0;
    std::uint32_t word = 0;
    std::uint8_t flags = 0; // bit 0: a colour name follows, bit 1: a book name follows
    std::string name, book; // 8-bit texts as stored, when read in place
};

// Reads bit codes from the bits [begin, end) of a byte buffer that the caller keeps alive.
// Every read past the end, and every code the format does not allow, fails: the reader stays
// failed, is left at its end, and every read from then on gives 0 (or empty text).
class BitReader {
  public:
    // The whole buffer.
    BitReader(const std::uint8_t* data, std::size_t size);
    // Bits [begin, end), both clipped to the buffer.
    BitReader(const std::uint8_t* data, std::size_t size, std::uint64_t begin, std::uint64_t end);

    bool ok() const { return mOk; }
    std::uint64_t position() const { return mPos; }
    std::uint64_t end() const { return mEnd; }
    std::uint64_t left() const { return mEnd - mPos; }

    std::uint64_t bits(unsigned n); // n <= 64 bits, the first read the most significant
    unsigned b() { return static_cast<unsigned>(bits(1)); }
    unsigned bb() { return static_cast<unsigned>(bits(2)); }
    std::uint8_t rc() { return static_cast<std::uint8_t>(bits(8)); }
    std::uint16_t rs();
    std::uint32_t rl();
    std::uint64_t rll();
    double rd();
    std::uint16_t bs();
    std::uint32_t bl();
    std::uint64_t bll();
    double bd();
    Point2 rd2();
    Point3 bd3();
    DateTime timebll();
    Handle h();
    // With `inlineTexts` (AC1018) the texts the flags announce are read as TV here.
    Color cmc(bool inlineTexts);
    // A BS count, then that many bytes: returned as stored.
    std::string tv();
    // A BS count, then that many 16-bit units: returned as their little-endian bytes (2 per
    // unit), the form decodeText takes.
    std::string tu();

  private:
    bool take(std::uint64_t n);
    void fail();
    std::uint8_t byteAt(std::uint64_t pos) const;
    std::string units(std::uint64_t count, unsigned unitBytes);

    const std::uint8_t* mData;
    std::uint64_t mPos, mEnd;
    bool mOk = true;
};

// Appends bits to a byte string; the last byte's unused bits are 0.
class BitWriter {
  public:
    std::uint64_t size() const { return mBits; } // bits written
    const std::string& bytes() const { return mBytes; }

    void bits(std::uint64_t value, unsigned n); // n <= 64, the most significant first
    void b(unsigned bit) { bits(bit & 1u, 1); }
    void rc(std::uint8_t v) { bits(v, 8); }
    void rs(std::uint16_t v);
    void bs(std::uint16_t v);
    // A text as tv() and tu() return it: false (and nothing written) when its count exceeds
    // the 65 535 a BS holds, or a TU's bytes are odd.
    bool tv(const std::string& stored);
    bool tu(const std::string& stored);
    // Copies the bits [begin, end) of `data` (`size` bytes) bit for bit. False (and nothing
    // written) when the range is not inside the buffer.
    bool copy(const std::uint8_t* data, std::size_t size, std::uint64_t begin, std::uint64_t end);

  private:
    void byte(std::uint8_t v);

    std::string mBytes;
    std::uint64_t mBits = 0;
};

} // namespace dwg
} // namespace minihost
