#include "minihost/drawing/dxf/pair_alignment.h"

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
    // The best alignment of the middles by weight: an equal pair counts most, then one with
    // the same key (only its value is rewritten), then any other pair kept in place (its key
    // and value rewritten) rather than one removed and another added.
    auto weight = [&](std::size_t r, std::size_t c) -> std::uint32_t {
        const auto& old = before[head + r];
        const auto& now = after[head + c];
        return old == now ? 3 : old.first == now.first ? 2 : 1;
    };
    // best[r * width + c]: the weight of the best alignment of the middles from row r and
    // column c on.
    const std::size_t width = columns + 1;
    std::vector<std::uint32_t> best((rows + 1) * width, 0);
    for (std::size_t r = rows; r-- > 0;)
        for (std::size_t c = columns; c-- > 0;)
            best[r * width + c] = std::max({weight(r, c) + best[(r + 1) * width + c + 1],
                                            best[(r + 1) * width + c], best[r * width + c + 1]});
    std::size_t r = 0, c = 0;
    while (r < rows && c < columns) {
        if (best[r * width + c] == weight(r, c) + best[(r + 1) * width + c + 1])
            result[head + r++] = static_cast<int>(head + c++);
        else if (best[r * width + c] == best[(r + 1) * width + c])
            ++r;
        else
            ++c;
    }
    return result;
}

} // namespace drawing
} // namespace minihost
