#include "minihost/drawing/dwg/ac1021/ac1021_lz77.h"

#include <algorithm>

namespace minihost {
namespace dwg {
namespace ac1021 {
namespace {

// How a literal run of r % 32 bytes is cut: piece sizes in input order. The pieces are written
// in reverse order, those of 2 or 3 bytes also byte-reversed.
const char* const kPieces[32] = {
    "",     "1",    "2",   "3",    "4",     "41",    "141",  "142",   "8",     "81",    "181",
    "182",  "84",   "841", "1841", "1842",  "88",    "818",  "1881",  "883",   "884",   "8841",
    "8842", "8843", "888", "8818", "88181", "88182", "8884", "88841", "88842", "288841"};

class Decoder {
  public:
    Decoder(const std::uint8_t* in, std::size_t n, std::size_t limit, std::string& out)
        : mIn(in), mSize(n), mLimit(limit), mOut(out) {}

    bool run();

  private:
    struct Match {
        std::size_t count = 0, distance = 0;
        std::uint8_t tail = 0; // its low 3 bits: the literals that follow
    };

    bool done() const { return mPos >= mSize; }
    std::uint8_t next() {
        if (mPos < mSize)
            return mIn[mPos++];
        mOk = false;
        return 0;
    }
    std::size_t literalCount(std::uint8_t c);
    Match match(std::uint8_t op);
    void copyLiterals(std::size_t n);
    void copyGroup(const std::uint8_t* group, const char* pieces);
    void copyMatch(const Match& m);
    bool matches(Match m);

    const std::uint8_t* mIn;
    std::size_t mSize, mPos = 0, mLimit;
    std::string& mOut;
    bool mOk = true;
};

std::size_t Decoder::literalCount(std::uint8_t c) {
    std::size_t n = c + 8u;
    if (n != 0x17)
        return n;
    const std::uint8_t b = next();
    n += b;
    if (b != 0xFF)
        return n;
    std::size_t w = 0;
    do { // each word is two input bytes: the run is bounded by the input
        w = next();
        w |= std::size_t{next()} << 8;
        n += w;
    } while (mOk && w == 0xFFFF);
    return n;
}

Decoder::Match Decoder::match(std::uint8_t op) {
    Match m;
    const unsigned hi = op >> 4;
    if (hi == 0 || hi == 1) {
        const std::size_t b1 = next(), b2 = next();
        m.count = (op & 0xFu) + (hi == 0 ? 0x13u + (b2 & 0x80 ? 16u : 0u) : 3u);
        m.distance = b1 + (hi == 0 ? (b2 >> 3) & 0xF : b2 >> 3) * 256 + 1;
        m.tail = static_cast<std::uint8_t>(b2);
    } else if (hi == 2 && !(op & 8)) {
        const std::size_t b1 = next(), b2 = next(), b3 = next();
        m.count = (op & 7u) + (b3 & 0xF8);
        m.distance = b1 + b2 * 256;
        m.tail = static_cast<std::uint8_t>(b3);
    } else if (hi == 2) {
        const std::size_t b1 = next(), b2 = next(), b3 = next(), b4 = next();
        m.count = (op & 7u) + b3 * 8 + (b4 & 0xF8) * 256 + 0x100;
        m.distance = b1 + b2 * 256 + 1;
        m.tail = static_cast<std::uint8_t>(b4);
    } else {
        const std::size_t b1 = next();
        m.count = hi;
        m.distance = (op & 0xFu) + (b1 >> 3) * 16 + 1;
        m.tail = static_cast<std::uint8_t>(b1);
    }
    return m;
}

void Decoder::copyGroup(const std::uint8_t* group, const char* pieces) {
    const std::size_t count = std::char_traits<char>::length(pieces);
    std::size_t ends[6] = {}, at = 0;
    for (std::size_t i = 0; i < count; ++i)
        ends[i] = at += static_cast<std::size_t>(pieces[i] - '0');
    for (std::size_t i = count; i-- > 0;) {
        const std::size_t size = static_cast<std::size_t>(pieces[i] - '0');
        const std::uint8_t* piece = group + ends[i] - size;
        if (size == 2 || size == 3)
            for (std::size_t j = size; j-- > 0;)
                mOut += static_cast<char>(piece[j]);
        else
            mOut.append(reinterpret_cast<const char*>(piece), size);
    }
}

void Decoder::copyLiterals(std::size_t n) {
    if (!mOk || n > mSize - mPos || n > mLimit - mOut.size()) {
        mOk = false;
        return;
    }
    const std::uint8_t* from = mIn + mPos;
    mPos += n;
    for (; n >= 32; n -= 32, from += 32)
        copyGroup(from, "8888");
    copyGroup(from, kPieces[n]);
}

void Decoder::copyMatch(const Match& m) {
    if (!mOk || m.distance == 0 || m.distance > mOut.size() || m.count > mLimit - mOut.size()) {
        mOk = false;
        return;
    }
    const std::size_t from = mOut.size() - m.distance;
    for (std::size_t i = 0; i < m.count; ++i) // byte by byte: a match may overlap itself
        mOut += mOut[from + i];
}

// Copies `m` and the matches that follow it; false when the stream ends or fails.
bool Decoder::matches(Match m) {
    for (;;) {
        copyMatch(m);
        std::size_t literals = m.tail & 7u;
        if (literals == 0) {
            if (!mOk || done())
                return false;
            std::uint8_t op = next();
            if (op >> 4 == 0) {
                literals = literalCount(op);
            } else {
                m = match(op >> 4 == 0xF ? static_cast<std::uint8_t>(op & 0xF) : op);
                continue;
            }
        }
        copyLiterals(literals);
        return mOk;
    }
}

bool Decoder::run() {
    mOut.clear();
    const std::uint8_t op = next();
    std::size_t literals = 0;
    if (op >> 4 == 2) {
        next();
        next();
        literals = next() & 7u;
    } else {
        literals = literalCount(op);
    }
    copyLiterals(literals);
    while (mOk && !done())
        if (!matches(match(next())))
            break;
    return mOk;
}

} // namespace

bool decompress(const std::uint8_t* in, std::size_t n, std::size_t limit, std::string& out) {
    out.clear();
    out.reserve(std::min(limit, kMaxExpansion * n));
    return Decoder(in, n, limit, out).run();
}

} // namespace ac1021
} // namespace dwg
} // namespace minihost
