// Resources of loaded modules, read from their "WinRes" notes in memory: LoadStringW and the
// version resource.
#include <cstring>
#include <cwchar>
#include <link.h>

#include "host/resources.h"
#include "host/windows_api.h"
#include "minihost/frame/platform_state.h"

namespace {

struct Note {
    std::uint32_t type;
    const unsigned char* desc;
    std::size_t size;
};

std::size_t roundUp(std::size_t n, std::size_t align) {
    return (n + align - 1) / align * align;
}

// The address the object's file is mapped at: where its first byte (offset 0) lies.
ElfW(Addr) mappedBase(const dl_phdr_info* info) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD && ph.p_offset == 0)
            return info->dlpi_addr + ph.p_vaddr;
    }
    return info->dlpi_addr;
}

// Calls visit(note) for every resource note of the module at `instance` until it returns true.
template <class Visit> void findNote(const void* instance, Visit visit) {
    struct Search {
        const void* instance;
        Visit* visit;
    } search{instance, &visit};
    auto callback = [](dl_phdr_info* info, std::size_t, void* data) -> int {
        auto* s = static_cast<Search*>(data);
        if (reinterpret_cast<const void*>(mappedBase(info)) != s->instance)
            return 0;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
            const ElfW(Phdr)& ph = info->dlpi_phdr[i];
            if (ph.p_type != PT_NOTE)
                continue;
            std::size_t align = ph.p_align == 8 ? 8 : 4;
            auto* p = reinterpret_cast<const unsigned char*>(info->dlpi_addr + ph.p_vaddr);
            std::size_t left = ph.p_memsz;
            while (left >= 12) {
                std::uint32_t words[3];
                std::memcpy(words, p, sizeof words);
                std::size_t nameRoom = roundUp(words[0], align);
                std::size_t descRoom = roundUp(words[1], align);
                if (nameRoom > left - 12 || descRoom > left - 12 - nameRoom)
                    break; // malformed: stop rather than read past the segment
                const unsigned char* name = p + 12;
                if (words[0] == winres::kOwnerSize && std::memcmp(name, "WinRes", 7) == 0) {
                    if ((*s->visit)(Note{words[2], name + nameRoom, words[1]}))
                        return 1;
                }
                p += 12 + nameRoom + descRoom;
                left -= 12 + nameRoom + descRoom;
            }
        }
        return 1; // the module was found; no other object can match
    };
    dl_iterate_phdr(callback, &search);
}

} // namespace

extern "C" int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
    if (!buffer || bufferMax < 0)
        return 0;
    const wchar_t* text = nullptr;
    std::size_t length = 0;
    findNote(instance, [&](const Note& note) {
        if (note.type != winres::kStringType || note.size < 4 + sizeof(wchar_t))
            return false;
        std::uint32_t noteId;
        std::memcpy(&noteId, note.desc, 4);
        if (noteId != id)
            return false;
        text = reinterpret_cast<const wchar_t*>(note.desc + 4);
        std::size_t room = (note.size - 4) / sizeof(wchar_t);
        length = 0;
        while (length < room && text[length])
            ++length;
        return true;
    });
    if (bufferMax == 0) {
        *reinterpret_cast<const wchar_t**>(buffer) = text;
        return text ? static_cast<int>(length) : 0;
    }
    if (!text) {
        buffer[0] = L'\0';
        return 0;
    }
    std::size_t copied = length < static_cast<std::size_t>(bufferMax) - 1
                             ? length
                             : static_cast<std::size_t>(bufferMax) - 1;
    std::wmemcpy(buffer, text, copied);
    buffer[copied] = L'\0';
    return static_cast<int>(copied);
}

namespace minihost {

bool readVersionResource(const void* instance, VersionResource& out) {
    bool found = false;
    findNote(instance, [&](const Note& note) {
        if (note.type != winres::kVersionType || note.size < 16)
            return false;
        std::uint16_t parts[8];
        std::memcpy(parts, note.desc, sizeof parts);
        for (int i = 0; i < 4; ++i) {
            out.file[i] = parts[i];
            out.product[i] = parts[4 + i];
        }
        found = true;
        return true;
    });
    return found;
}

std::string versionText(const unsigned (&parts)[4]) {
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
           std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

} // namespace minihost
