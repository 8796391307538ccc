// How a module carries its resources (version and string table). On Windows they are built by
// the resource compiler from the module's .rc file, and the declarations below only check their
// arguments. On Linux they are ELF notes of owner "WinRes" in an allocated note section, so the
// host finds them in the loaded module's program headers without any exported symbol. Each
// resource is one note:
//
//   type 1, version: four 16-bit numbers of the file version, then four of the product version;
//   type 2, string:  a 32-bit id, then the NUL-terminated text as wchar_t.
//
// A module declares them at namespace scope with SUMLEAF_VERSION_RESOURCE and
// SUMLEAF_STRING_RESOURCE.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define SUMLEAF_VERSION_RESOURCE(a, b, c, d)                                                       \
    static_assert((a) >= 0 && (b) >= 0 && (c) >= 0 && (d) >= 0, "version numbers")
#define SUMLEAF_STRING_RESOURCE(variable, id, text)                                                \
    static_assert((id) > 0 && sizeof(text) > 0, #variable " is in the module's .rc file")
#else
namespace winres {

constexpr std::uint32_t kOwnerSize = 7; // "WinRes" and its NUL
constexpr std::uint32_t kVersionType = 1;
constexpr std::uint32_t kStringType = 2;

struct NoteHeader {
    std::uint32_t nameSize;
    std::uint32_t descSize;
    std::uint32_t type;
    char owner[8]; // padded to a multiple of four
};

struct VersionNote {
    NoteHeader header;
    std::uint16_t file[4];
    std::uint16_t product[4];
};

template <std::uint32_t N> struct StringNote {
    NoteHeader header;
    std::uint32_t id;
    wchar_t text[N]; // N counts the terminator
};

} // namespace winres

#define WINRES_NOTE_ __attribute__((section(".note.winres"), used, aligned(4)))

#define SUMLEAF_VERSION_RESOURCE(a, b, c, d)                                                       \
    WINRES_NOTE_ static const ::winres::VersionNote sumleafVersionResource = {                     \
        {::winres::kOwnerSize, 16, ::winres::kVersionType, "WinRes"}, {a, b, c, d}, {a, b, c, d}}

#define SUMLEAF_STRING_RESOURCE(variable, id, text)                                                \
    WINRES_NOTE_ static const ::winres::StringNote<sizeof(text) / sizeof(wchar_t)> variable = {    \
        {::winres::kOwnerSize, static_cast<std::uint32_t>(4 + sizeof(text)),                       \
         ::winres::kStringType, "WinRes"},                                                         \
        id,                                                                                        \
        text}
#endif
