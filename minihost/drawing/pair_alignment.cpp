#include "minihost/drawing/pair_alignment.h"

#include <algorithm>
#include <cstdint>

namespace minihost {
namespace drawing {
namespace {

// Above this many cells the middle of the lists pairs up in order instead: the table would
// cost more than rewriting a few pairs.
constexpr std::size_t kMaxTable = 1u << 20;

// Pairs before[b0, b1) with after[a0, a1) in order, as far as the shorter reaches.
void inOrder(std::vector<int>& result, std::size_t b0, std::size_t b1, std::size_t a0,
             std::size_t a1) {
    for (; b0 < b1 && a0 < a1; ++b0, ++a0)
        result[b0] = static_cast<int>(a0);
}

} // namespace

std::vector<int> alignPairs(const PairList& before, const PairList& after) {
    std::vector<int> result(before.size(), -1);
    // The common start and end: a merge changes the list at a few places, if at all.
    std::size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) {
        result[head] = static_cast<int>(head);
        ++head;
    }
    std::size_t bEnd = before.size(), aEnd = after.size();
    while (bEnd > head && aEnd > head && before[bEnd - 1] == after[aEnd - 1])
        result[--bEnd] = static_cast<int>(--aEnd);
    const std::size_t rows = bEnd - head, columns = aEnd - head;
    if (rows == 0 || columns == 0)
        return result;
    if (rows > kMaxTable / columns) {
        inOrder(result, head, bEnd, head, aEnd);
        return result;
    }
    // lengths[r * (columns + 1) + c]: the longest common subsequence of the middles from
    // row r and column c on.
    const std::size_t width = columns + 1;
    std::vector<std::uint32_t> lengths((rows + 1) * width, 0);
    for (std::size_t r = rows; r-- > 0;)
        for (std::size_t c = columns; c-- > 0;)
            lengths[r * width + c] =
                before[head + r] == after[head + c]
                    ? lengths[(r + 1) * width + c + 1] + 1
                    : std::max(lengths[(r + 1) * width + c], lengths[r * width + c + 1]);
    std::size_t r = 0, c = 0, gapR = 0, gapC = 0;
    while (r < rows && c < columns) {
        if (before[head + r] == after[head + c]) {
            inOrder(result, head + gapR, head + r, head + gapC, head + c);
            result[head + r] = static_cast<int>(head + c);
            gapR = ++r;
            gapC = ++c;
        } else if (lengths[(r + 1) * width + c] >= lengths[r * width + c + 1]) {
            ++r;
        } else {
            ++c;
        }
    }
    inOrder(result, head + gapR, bEnd, head + gapC, aEnd);
    return result;
}

} // namespace drawing
} // namespace minihost
