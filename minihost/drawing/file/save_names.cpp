// Names beside a drawing within the name limit. See save_names.h.
#include "minihost/drawing/file/save_names.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <unistd.h>

namespace minihost {
namespace {

// What a hidden name adds to its stem at most: the dots, a process id, a dash, a count and
// ".tmp".
constexpr long kHiddenExtra = 2 + 10 + 1 + 20 + 4;
constexpr std::size_t kHashText = 1 + 16; // "~" and 64 bits in hex

// `name` when it holds at most `room` bytes; else its start, cut between characters, then "~"
// and a hash of the whole name, `room` bytes at most (never less than the hash).
std::string fitted(const std::string& name, long room) {
    if (room < 0 || name.size() <= static_cast<std::size_t>(room))
        return name;
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a: the same in every process
    for (unsigned char c : name)
        hash = (hash ^ c) * 1099511628211ull;
    std::size_t keep = static_cast<std::size_t>(room) > kHashText ? room - kHashText : 0;
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep; // a UTF-8 continuation byte: the character starts before it
    char text[kHashText + 1];
    std::snprintf(text, sizeof text, "~%016llx", static_cast<unsigned long long>(hash));
    return name.substr(0, keep) + text;
}

} // namespace

SaveNames::SaveNames(const std::string& name, long nameMax)
    : mStem(fitted(name, nameMax - kHiddenExtra)) {
    std::size_t dot = name.rfind('.');
    std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    mBackup = fitted(base, nameMax - 4) + ".bak";
}

std::string SaveNames::hidden(const char* what) const {
    static std::atomic<unsigned long> counter{0};
    return "." + mStem + "." + std::to_string(::getpid()) + "-" + std::to_string(++counter) + what;
}

bool SaveNames::isHidden(const std::string& entry) const {
    const std::string prefix = "." + mStem + ".";
    if (entry.size() <= prefix.size() + 4 || entry.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string what = entry.substr(entry.size() - 4);
    if (what != ".tmp" && what != ".old")
        return false;
    std::string middle = entry.substr(prefix.size(), entry.size() - prefix.size() - 4);
    std::size_t dash = middle.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == middle.size())
        return false;
    for (std::size_t i = 0; i < middle.size(); ++i)
        if (i != dash && (middle[i] < '0' || middle[i] > '9'))
            return false;
    return true;
}

} // namespace minihost
