// The objects of binary drawings of AC1015, AC1014 and AC1012 that lead to the properties
// record: an object's frame (its size and CRC), the fields every object starts with, and the
// two types read here, the dictionary and the record. Pure functions over bytes, except
// readObject, which reads one object through the file layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/ac1015/ac1015_header_vars.h"
#include "minihost/drawing/dwg/ac1015/ac1015_record.h"
#include "minihost/drawing/dwg/container/dwg_container.h"

namespace minihost {
namespace dwg {
namespace ac1015 {

constexpr std::uint16_t kDictionaryType = 42;
constexpr std::uint16_t kRecordType = 79; // AC1015's; older drawings number it as a class
// No dictionary or properties record comes near this; a larger object is taken as damage.
constexpr std::uint64_t kMaxObjectSize = 16u << 20;

// Reads the object at file address `address` into `data` (its data bytes alone, without the
// size before them and the CRC after them). eDwgCRCError when its CRC does not match,
// eDwgCorrupt when it does not fit in the file or exceeds kMaxObjectSize, the statuses of
// `read`.
Acad::ErrorStatus readObject(const ReadBytes& read, std::uint64_t fileSize, std::uint64_t address,
                             std::string& data);

// The fields an object's data starts with.
struct ObjectStart {
    std::uint16_t type = 0;
    std::uint64_t handle = 0;
    std::uint64_t handleStream = 0; // the bit where the handle stream starts
    std::uint32_t reactors = 0;
    std::uint64_t dataBit = 0; // where the type's own data starts
};

// Reads the fields every object starts with, and checks that its handle is `handle`.
// eDwgCorrupt when a read runs past the data, the handle stream would start beyond it or the
// handle is another.
Acad::ErrorStatus readObjectStart(const std::string& data, Layout layout, std::uint64_t handle,
                                  ObjectStart& out);

// Finds the entry `key` of the dictionary `data` (its start already read into `start`):
// `found` tells whether there is one, `entry` is the handle it names. eDwgCorrupt when the
// object is no dictionary, its names do not end where its handle stream starts or a handle
// cannot be read.
Acad::ErrorStatus findDictionaryEntry(const std::string& data, Layout layout,
                                      const ObjectStart& start, const char* key, bool& found,
                                      std::uint64_t& entry);

// The text items of the properties record `data` (its start already read into `start`; its
// type checked by the caller). Besides readItems' statuses: eDwgCorrupt when what follows the
// items does not end where the handle stream starts.
Acad::ErrorStatus readRecordItems(const std::string& data, Layout layout, const ObjectStart& start,
                                  std::vector<TextItem>& texts);

} // namespace ac1015
} // namespace dwg
} // namespace minihost
