#include "minihost/drawing/dwg/container/dwg_lz77.h"

#include <algorithm>

#include "minihost/drawing/dwg/dwg_bytes.h"

namespace minihost {
namespace dwg {
namespace {

constexpr std::uint8_t kEnd = 0x11;
constexpr std::size_t kReserveAtOnce = 64 * 1024; // the maps and data pages are smaller

class Decoder {
  public:
    Decoder(const std::uint8_t* in, std::size_t n, std::size_t limit, std::string& out)
        : mIn(in), mSize(n), mLimit(limit), mOut(out) {}

    bool run() {
        std::uint32_t op;
        if (!next(op))
            return false;
        if (op < 0x10) {
            if (!literalRun(op) || !next(op))
                return false;
        }
        for (;;) {
            if (op == kEnd)
                return true;
            if (op < 0x10)
                return false;
            std::size_t count, distance;
            std::uint32_t literals;
            if (!instruction(op, count, distance, literals) || !copyMatch(count, distance))
                return false;
            if (literals > 0) { // a few literals, counted by the instruction itself
                if (!copyLiterals(literals) || !next(op))
                    return false;
                continue;
            }
            if (!next(op))
                return false;
            if (op < 0x10 && (!literalRun(op) || !next(op)))
                return false;
        }
    }

  private:
    bool next(std::uint32_t& byte) {
        if (mPos >= mSize)
            return false;
        byte = mIn[mPos++];
        return true;
    }

    // A length continued by zero bytes (0xFF each) up to the first non-zero byte.
    bool longLength(std::size_t& length) {
        std::uint32_t byte;
        for (;;) {
            if (!next(byte))
                return false;
            if (byte != 0)
                break;
            length += 0xFF;
            if (length > mLimit)
                return false;
        }
        length += byte;
        return true;
    }

    bool literalRun(std::uint32_t c) {
        std::size_t length = c;
        if (c == 0) {
            length = 0x0F;
            if (!longLength(length))
                return false;
        }
        return copyLiterals(length + 3);
    }

    bool instruction(std::uint32_t op, std::size_t& count, std::size_t& distance,
                     std::uint32_t& literals) {
        std::uint32_t b1, b2;
        if (op >= 0x40) {
            if (!next(b1))
                return false;
            count = (op >> 4) - 1;
            distance = ((b1 << 2) | ((op >> 2) & 3)) + 1;
            literals = op & 3;
            return true;
        }
        std::uint32_t mask = op >= 0x20 ? 0x1F : 0x07;
        count = op & mask;
        if (count == 0) {
            count = mask;
            if (!longLength(count))
                return false;
        }
        count += 2;
        if (!next(b1) || !next(b2))
            return false;
        literals = b1 & 3;
        if (op >= 0x20)
            distance = ((b2 << 6) | (b1 >> 2)) + 1;
        else
            distance = (((op & 8) << 11) | (b2 << 6) | (b1 >> 2)) + 0x4000;
        return true;
    }

    bool copyLiterals(std::size_t length) {
        if (length > mSize - mPos || length > mLimit - mOut.size())
            return false;
        mOut.append(reinterpret_cast<const char*>(mIn + mPos), length);
        mPos += length;
        return true;
    }

    bool copyMatch(std::size_t count, std::size_t distance) {
        if (distance == 0 || distance > mOut.size() || count > mLimit - mOut.size())
            return false;
        // The copy may overlap itself: it repeats the last `distance` bytes. What it has
        // written so far is whole periods of them, so each run copies all of it again (doubling)
        // from where the repetition starts, never past the bytes it adds.
        mOut.reserve(mOut.size() + count);
        const std::size_t from = mOut.size() - distance;
        for (std::size_t done = 0; done < count;) {
            const std::size_t n = std::min(count - done, mOut.size() - from);
            mOut.append(mOut, from, n);
            done += n;
        }
        return true;
    }

    const std::uint8_t* mIn;
    std::size_t mSize, mPos = 0, mLimit;
    std::string& mOut;
};

} // namespace

bool decompress(const std::uint8_t* in, std::size_t n, std::size_t limit, std::string& out) {
    out.clear();
    // The limit is the size a page must decompress to: room for it at once spares the output
    // growing step by step, up to a size that a malformed stream cannot make costly.
    out.reserve(std::min<std::size_t>(limit, kReserveAtOnce));
    return Decoder(in, n, limit, out).run();
}

std::size_t literalStreamLength(std::size_t n) {
    if (n == 0)
        return 3;
    return n + 3 + (n <= 18 ? 1 : 2 + (n - 19) / 255);
}

namespace {

// A count beyond what an opcode holds: (rest - 1) / 255 zero bytes, then the remainder.
void appendExtension(std::string& out, std::size_t rest) {
    out.append((rest - 1) / 255, '\0');
    out += static_cast<char>(rest - 255 * ((rest - 1) / 255));
}

// The opcode of a literal run of n >= 4 bytes.
void appendLiteralRun(std::string& out, const std::uint8_t* data, std::size_t n) {
    if (n <= 18) {
        out += static_cast<char>(n - 3);
    } else {
        out += '\0';
        appendExtension(out, n - 18);
    }
    out.append(reinterpret_cast<const char*>(data), n);
}

void appendEnd(std::string& out) {
    out += static_cast<char>(kEnd);
    out.append(2, '\0');
}

} // namespace

std::string literalStream(const std::uint8_t* data, std::size_t n) {
    std::string out;
    out.reserve(literalStreamLength(n));
    if (n > 0)
        appendLiteralRun(out, data, n);
    appendEnd(out);
    return out;
}

std::string paddedStream(const std::uint8_t* data, std::size_t n, std::size_t padded) {
    // The literal run needs at least 4 bytes (the data and its zero), the match at least 3.
    if (n < 3 || padded < n + 4) {
        std::string plain(reinterpret_cast<const char*>(data), n);
        plain.resize(padded, '\0');
        return literalStream(bytes(plain), plain.size());
    }
    std::string withZero(reinterpret_cast<const char*>(data), n);
    withZero += '\0';
    std::string out;
    appendLiteralRun(out, bytes(withZero), withZero.size());
    const std::size_t count = padded - n - 1; // the zeros the match repeats, at distance 1
    if (count - 2 <= 0x1F) {
        out += static_cast<char>(0x20 | (count - 2));
    } else {
        out += static_cast<char>(0x20);
        appendExtension(out, count - 33);
    }
    out.append(2, '\0'); // distance 1, no literals after
    appendEnd(out);
    return out;
}

} // namespace dwg
} // namespace minihost
