// Test support: binary drawings of AC1021 made from a summary, as the format note describes them
// (a file header of three interleaved code words, data pages, a section map and a page map, every
// check value the reader knows). Parity bytes are zero and the outer check value at header 0x00
// is 0: readers that correct errors or check that value are not what these drawings are for.
// Its own encoder, CRCs and interleaving, so that a misreading in the reader shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "minihost/runtime/summary_data.h"

namespace ac1021_maker {

// The bytes of a summary section holding `data`, texts in UTF-16LE.
std::string summarySection(const minihost::SummaryData& data);

struct Options {
    int summaryPages = 1;       // pages the summary is cut into; 0: the drawing has none
    int encoding = 1;           // of the summary's pages: 1 as they are, 4 interleaved
    bool compressed = false;    // summary pages compressed (where that makes them smaller)
    bool compressMaps = true;   // the page map and section map compressed
    std::uint64_t factor = 1;   // the maps' correction factor (more code words per page)
    bool storedPayload = false; // the file header's payload stored, not compressed
};

// A part of the made file and the file offsets of the bytes its check values cover.
struct Region {
    std::string name;
    std::vector<std::uint64_t> covered;
};

struct Made {
    std::string file;
    std::vector<Region> regions; // the file header, the maps, each summary page
    int compressedPages = 0;     // summary pages stored compressed
    std::size_t payloadLength = 0;
    std::uint64_t summaryAddress = 0;   // of its first page, also at 0x20
    std::uint64_t summaryPageBytes = 0; // what its pages take in the file
};

// A drawing holding the summary section `summary` (see summarySection) and two filler sections.
Made make(const std::string& summary, const Options& options);

// A stream of the AC1021 compression that decodes to `data`: literal runs and matches of 3..14
// bytes at distances up to 512, found greedily.
std::string compress(const std::string& data);

} // namespace ac1021_maker
