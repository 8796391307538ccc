// The file header of binary drawings of AC1015, AC1014 and AC1012 and the sections it locates
// that the properties' read needs: the header variables and the classes, each framed by two
// sentinels and guarded by a CRC-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/container/dwg_container.h"

namespace minihost {
namespace dwg {
namespace ac1015 {

// Where a section lies in the file.
struct Locator {
    std::uint64_t address = 0, size = 0;
};

// The sections the file header locates.
struct FileHeader {
    Locator header, classes, objectMap;
};

// Reads the file header from the file's first `n` bytes `start`. eDwgCorrupt when its sentinel
// is missing, it does not fit in those bytes or a needed locator is missing; eDwgCRCError when
// its CRC does not match; eDwgNeedsRecovery when a section it locates ends beyond the file.
Acad::ErrorStatus readFileHeader(const std::uint8_t* start, std::size_t n, std::uint64_t fileSize,
                                 FileHeader& out);

enum class SectionKind { kHeader, kClasses };

// The data of the section of `kind` at `where` (between its size field and its CRC). The
// statuses of readFileHeader, and those of `read`.
Acad::ErrorStatus readFramedSection(const ReadBytes& read, const Locator& where, SectionKind kind,
                                    std::string& data);

// A text as stored, without the 0 bytes that most writers count in.
std::string withoutTrailingZeros(std::string text);

// Whether the classes section's data `classes` gives the class named `name` (its record name)
// the object type `number`. False as well when the data cannot be read.
bool isClassNamed(const std::string& classes, std::uint16_t number, const char* name);

} // namespace ac1015
} // namespace dwg
} // namespace minihost
