// Lines up the custom properties a drawing was read with and those it is saved with, so that a
// save rewrites only the pairs that changed and keeps the bytes of all others.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace minihost {
namespace drawing {

using PairList = std::deque<std::pair<std::wstring, std::wstring>>;

// For each pair of `before`, the index of the pair of `after` it becomes, or -1 when it is
// removed; the indices that are not -1 rise. Equal pairs are matched first, then pairs with the
// same key (a changed value), then any others in place (a changed key and value); lists too
// long for that are matched in order between their common start and end.
std::vector<int> alignPairs(const PairList& before, const PairList& after);

} // namespace drawing
} // namespace minihost
