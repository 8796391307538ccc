// The summary properties of one drawing as the stand-in keeps them.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <utility>

namespace minihost {

// The eight built-in texts, in the host's order.
enum BuiltInField {
    kTitle,
    kSubject,
    kAuthor,
    kKeywords,
    kComments,
    kLastSavedBy,
    kRevisionNumber,
    kHyperlinkBase,
    kBuiltInCount
};

struct SummaryData {
    std::wstring builtIn[kBuiltInCount];
    // Custom properties in index order. A deque, so that removing at index 0 (how callers
    // clear the list) costs the same at any size.
    std::deque<std::pair<std::wstring, std::wstring>> custom;
};

} // namespace minihost
