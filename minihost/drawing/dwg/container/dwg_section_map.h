// The section map of a binary drawing as a list of sections that an edit can change and write
// again: each section's 96-byte descriptor and its page entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace minihost {
namespace dwg {

// One page entry of a section: the page's number, its stored data size, where its data starts
// in the section.
struct PageEntry {
    std::int32_t number = 0;
    std::uint32_t dataSize = 0;
    std::uint64_t start = 0;
};

struct SectionEntry {
    std::string descriptor; // the 96 bytes as stored; its page count is written from `pages`
    std::vector<PageEntry> pages;

    std::string name() const;
    std::uint64_t size() const;
    std::uint32_t id() const;
    bool compressed() const;
    std::uint32_t pageSize() const; // the maximum decompressed page size
    void setSize(std::uint64_t size);
    void setPageSize(std::uint32_t size);
};

struct SectionList {
    std::string header; // the map's 20-byte header; its section counts are written from `sections`
    std::vector<SectionEntry> sections;

    // The section named `name`, or nullptr.
    SectionEntry* find(const std::string& name);
    // The decompressed section map these make.
    std::string bytes() const;
};

// Where each section's descriptor starts in the decompressed section map `map`, into `out`
// (replaced). False when the map is cut short.
bool sectionOffsets(const std::string& map, std::vector<std::size_t>& out);

// Parses a decompressed section map. False when it is cut short.
bool parseSectionMap(const std::string& map, SectionList& out);

// A descriptor for a new section `name` of `id`, uncompressed and not encrypted.
SectionEntry newSection(const std::string& name, std::uint32_t id);

} // namespace dwg
} // namespace minihost
