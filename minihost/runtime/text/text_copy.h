// Copies of wide text in malloc storage, for values that callers release with free().
#pragma once

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace minihost {

// A malloc copy of `text` with its terminator, or nullptr when out of memory.
inline wchar_t* copyText(const wchar_t* text) {
    std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(std::malloc(bytes));
    if (copy)
        std::memcpy(copy, text, bytes);
    return copy;
}

} // namespace minihost
