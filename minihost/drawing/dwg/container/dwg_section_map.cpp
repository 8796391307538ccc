#include "minihost/drawing/dwg/container/dwg_section_map.h"

#include <cstring>

#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/container/dwg_container.h"

namespace minihost {
namespace dwg {
namespace {

constexpr std::size_t kPageEntrySize = 16;
constexpr std::size_t kNameAt = 0x20, kNameSize = 64;

} // namespace

std::string SectionEntry::name() const {
    const char* stored = descriptor.data() + kNameAt;
    return std::string(stored, strnlen(stored, kNameSize));
}
std::uint64_t SectionEntry::size() const {
    return get64(dwg::bytes(descriptor));
}
std::uint32_t SectionEntry::id() const {
    return get32(dwg::bytes(descriptor) + 0x18);
}
bool SectionEntry::compressed() const {
    return get32(dwg::bytes(descriptor) + 0x14) == 2;
}
std::uint32_t SectionEntry::pageSize() const {
    return get32(dwg::bytes(descriptor) + 0x0C);
}
void SectionEntry::setSize(std::uint64_t size) {
    put64(dwg::bytes(descriptor), size);
}
void SectionEntry::setPageSize(std::uint32_t size) {
    put32(dwg::bytes(descriptor) + 0x0C, size);
}

SectionEntry* SectionList::find(const std::string& name) {
    for (SectionEntry& s : sections)
        if (s.name() == name)
            return &s;
    return nullptr;
}

std::string SectionList::bytes() const {
    std::string out = header;
    put32(dwg::bytes(out), static_cast<std::uint32_t>(sections.size()));
    put32(dwg::bytes(out) + 16, static_cast<std::uint32_t>(sections.size()));
    for (const SectionEntry& s : sections) {
        std::size_t at = out.size();
        out += s.descriptor;
        put32(dwg::bytes(out) + at + 0x08, static_cast<std::uint32_t>(s.pages.size()));
        for (const PageEntry& p : s.pages) {
            add32(out, static_cast<std::uint32_t>(p.number));
            add32(out, p.dataSize);
            add32(out, static_cast<std::uint32_t>(p.start));
            add32(out, static_cast<std::uint32_t>(p.start >> 32));
        }
    }
    return out;
}

bool sectionOffsets(const std::string& map, std::vector<std::size_t>& out) {
    out.clear();
    if (map.size() < kSectionMapHeaderSize)
        return false;
    for (std::size_t pos = kSectionMapHeaderSize; pos < map.size();) {
        if (map.size() - pos < kDescriptorSize)
            return false;
        const std::uint64_t pages = get32(bytes(map) + pos + 0x08);
        if (pages > (map.size() - pos - kDescriptorSize) / kPageEntrySize)
            return false;
        out.push_back(pos);
        pos += kDescriptorSize + kPageEntrySize * pages;
    }
    return true;
}

bool parseSectionMap(const std::string& map, SectionList& out) {
    std::vector<std::size_t> offsets;
    if (!sectionOffsets(map, offsets))
        return false;
    SectionList list;
    list.header = map.substr(0, kSectionMapHeaderSize);
    for (std::size_t at : offsets) {
        SectionEntry s;
        s.descriptor = map.substr(at, kDescriptorSize);
        const std::uint32_t count = get32(bytes(map) + at + 0x08);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* p = bytes(map) + at + kDescriptorSize + kPageEntrySize * i;
            s.pages.push_back({static_cast<std::int32_t>(get32(p)), get32(p + 4), get64(p + 8)});
        }
        list.sections.push_back(std::move(s));
    }
    out = std::move(list);
    return true;
}

SectionEntry newSection(const std::string& name, std::uint32_t id) {
    SectionEntry s;
    s.descriptor.assign(kDescriptorSize, '\0');
    std::uint8_t* d = bytes(s.descriptor);
    put32(d + 0x10, 1);
    put32(d + 0x14, 1); // not compressed
    put32(d + 0x18, id);
    const std::size_t n = std::min(name.size(), kNameSize - 1);
    s.descriptor.replace(kNameAt, n, name, 0, n);
    return s;
}

} // namespace dwg
} // namespace minihost
