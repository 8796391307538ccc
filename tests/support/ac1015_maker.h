// Test support: binary drawings of AC1015, AC1014 and AC1012 made as the format note describes
// them, for the layouts no shared drawing has: the file header, the header variables (every one
// at its default, the named-object dictionary's handle set), the classes, a dictionary listing
// the properties record, the record, and the object map, each with its CRC. Nothing else lies
// in the file: every byte but the object map's closing block is on the reader's path. Its own CRC
// and its own transcription of the header-variable lists, so that a misreading in the reader shows.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "minihost/drawing/dwg/header/dwg_bits.h"

namespace ac1015_maker {

// An item of the record: its group code and its value's bytes (a text's without its length
// and code page, which the maker writes).
using Item = std::pair<std::uint16_t, std::string>;

// The items of a properties record as the host writes them: the cookie, Title, Subject,
// Author, Comments, Keywords, LastSavedBy, RevisionNumber (`texts` in the stand-in's order of
// built-in fields: Title, Subject, Author, Keywords, Comments, LastSavedBy, RevisionNumber,
// HyperlinkBase), the ten custom slots (`custom`, "name=value", then "="), three times,
// HyperlinkBase and a count.
std::vector<Item> recordItems(const std::vector<std::string>& texts,
                              const std::vector<std::string>& custom);

// The items as a record stores them: each code, then a text's length and code page (1252) and
// its bytes, or another item's value as given.
std::string itemBytes(const std::vector<Item>& items);

struct Options {
    std::string version = "AC1014";  // or "AC1012": the layout both share
    bool ownerByte = true;           // the dictionary's hard-owner byte (absent in AC1012)
    std::uint16_t recordType = 521;  // the record's type: 79, or a class number
    std::uint16_t recordClass = 521; // the number the classes give "XRECORD"
    bool listed = true;              // the dictionary lists the record
    std::uint16_t codePage = 30;     // index at 0x13
};

// A drawing whose properties record holds `items`.
std::string make(const std::vector<Item>& items, const Options& options);

// Bit codes the reader's BitWriter lacks.
void writeBL(minihost::dwg::BitWriter& w, std::uint32_t v);
void writeRL(minihost::dwg::BitWriter& w, std::uint32_t v);
void writeH(minihost::dwg::BitWriter& w, unsigned code, std::uint64_t value);

// A dictionary object's data: `names` and the references of their objects, its own handle
// 0x0C, one reactor, extended data of one application.
std::string dictionary(bool ac1015, std::uint16_t type, bool ownerByte,
                       const std::vector<std::string>& names,
                       const std::vector<std::pair<unsigned, std::uint64_t>>& refs);

} // namespace ac1015_maker
