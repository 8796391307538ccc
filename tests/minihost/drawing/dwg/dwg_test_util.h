// Helpers of the binary drawing tests: the shared drawings, their expected properties, and
// reading a drawing held in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "minihost/drawing/dwg/header/dwg_header.h"
#include "minihost/drawing/dwg/dwg_read.h"
#include "minihost/runtime/summary_data.h"

namespace dwg_test {

// ../shared/dwg beside the clone.
std::filesystem::path sharedBinaryDrawings();

// ../shared/dwg2000 beside the clone: AC1015 drawings with properties.
std::filesystem::path sharedOlderDrawings();

// One drawing of the two folders' expected.json: its version and the properties a read gives
// (all empty where the file has none).
struct Expected {
    std::string name, version;
    std::filesystem::path path;
    bool hasSummary = false; // its properties are in a summary section (AC1018 on): it is saved
    minihost::SummaryData summary;
};
std::vector<Expected> expectedDrawings();

// Reads `bytes` as a binary drawing; `readBytes` gets the number of bytes read.
Acad::ErrorStatus readMemory(const std::string& bytes, minihost::dwg::BinaryDrawing& out,
                             std::uint64_t* readBytes = nullptr);

// A binary drawing made here from the first 0x100 bytes of the real drawing `base`: its page
// area holds the summary section `section` cut into `pages` pages (0: no summary section),
// compressed or not, then the section map and the page map, each page with its check values.
// `alter`, when given, changes the decompressed section map before it is written.
std::string madeDrawing(const std::string& base, const std::string& section, int pages,
                        bool compressed,
                        const std::function<void(std::string& sectionMap)>& alter = nullptr);

// A shared drawing without its summary section, as some real drawings are: the section's
// descriptor gone from the section map, its page a gap, the summary address at 0x20 zero.
std::string withoutSummary(const std::string& drawing);

// `drawing` with its header-variables section replaced by `section` (each check value of the
// container right, whatever the section holds); empty when it cannot be made.
std::string withHeaderSection(const std::string& drawing, const std::string& section);

// The header-variables section of `drawing` (decompressed) and what reading it needs to know
// of the drawing; false when the drawing or the section cannot be read.
bool headerSection(const std::string& drawing, std::string& section,
                   minihost::dwg::HeaderContext& context);

// The HYPERLINKBASE variable of the header section of `drawing`, read by our own reader of that
// section; "<unreadable>" when it cannot be read.
std::wstring headerHyperlinkBase(const std::string& drawing);

// Whether the independent reader (../shared/tools/dwg-check, run as a black box) is beside
// the clone; in CI a missing one also fails the running test.
bool haveIndependentCheck();
// What the independent reader says of a drawing: its JSON line, parsed; null when the tool
// is not beside the clone.
nlohmann::json independentCheck(const std::filesystem::path& drawing);

} // namespace dwg_test
