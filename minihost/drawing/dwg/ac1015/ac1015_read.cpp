#include "minihost/drawing/dwg/ac1015/ac1015_read.h"

#include "minihost/drawing/dwg/ac1015/ac1015_header_vars.h"
#include "minihost/drawing/dwg/ac1015/ac1015_object_map.h"
#include "minihost/drawing/dwg/ac1015/ac1015_objects.h"
#include "minihost/drawing/dwg/ac1015/ac1015_record.h"
#include "minihost/drawing/dwg/ac1015/ac1015_sections.h"
#include "minihost/drawing/dwg/dwg_bytes.h"

namespace minihost {
namespace dwg {
namespace ac1015 {
namespace {

const char kRecordKey[] = "DWGPROPS";

// The handle of the named-object dictionary, from the header variables.
Acad::ErrorStatus namedObjects(const ReadBytes& read, const FileHeader& file, Layout layout,
                               std::uint64_t& handle) {
    std::string variables;
    const Acad::ErrorStatus status =
        readFramedSection(read, file.header, SectionKind::kHeader, variables);
    if (status != Acad::eOk)
        return status;
    BitReader in(bytes(variables), variables.size());
    HeaderWalk walk;
    if (!walkHeader(in, layout, walk))
        return Acad::eDwgCorrupt;
    handle = walk.namedObjects.value;
    return Acad::eOk;
}

// The object `handle`, found through the map, read and its start checked.
Acad::ErrorStatus objectAt(const ReadBytes& read, std::uint64_t fileSize, ObjectMap& map,
                           Layout layout, std::uint64_t handle, std::string& data,
                           ObjectStart& start) {
    std::uint64_t address = 0;
    Acad::ErrorStatus status = map.find(handle, address);
    if (status == Acad::eOk)
        status = readObject(read, fileSize, address, data);
    if (status == Acad::eOk)
        status = readObjectStart(data, layout, handle, start);
    return status;
}

// AC1015 numbers the record type 79; older drawings give it a class number. Either is taken in
// every version.
Acad::ErrorStatus checkRecordType(const ReadBytes& read, const FileHeader& file,
                                  std::uint16_t type) {
    if (type == kRecordType)
        return Acad::eOk;
    std::string classes;
    const Acad::ErrorStatus status =
        readFramedSection(read, file.classes, SectionKind::kClasses, classes);
    if (status != Acad::eOk)
        return status;
    return isClassNamed(classes, type, "XRECORD") ? Acad::eOk : Acad::eDwgCorrupt;
}

} // namespace

bool isUnpagedVersion(const std::string& version) {
    return version == "AC1015" || version == "AC1014" || version == "AC1012";
}

Acad::ErrorStatus readProperties(const ReadBytes& read, std::uint64_t fileSize,
                                 const std::uint8_t* start, std::size_t startSize,
                                 const TextForm& form, SummaryData& out) {
    const Layout layout = std::string(reinterpret_cast<const char*>(start), 6) == "AC1015"
                              ? Layout::kAC1015
                              : Layout::kAC1014;
    out = SummaryData();
    FileHeader file;
    std::uint64_t dictionary = 0;
    Acad::ErrorStatus status = readFileHeader(start, startSize, fileSize, file);
    if (status == Acad::eOk)
        status = namedObjects(read, file, layout, dictionary);
    if (status != Acad::eOk)
        return status;
    ObjectMap map(read, fileSize, file.objectMap.address, file.objectMap.size);
    std::string data;
    ObjectStart object;
    bool found = false;
    std::uint64_t record = 0;
    if ((status = objectAt(read, fileSize, map, layout, dictionary, data, object)) != Acad::eOk ||
        (status = findDictionaryEntry(data, layout, object, kRecordKey, found, record)) !=
            Acad::eOk)
        return status;
    if (!found)
        return Acad::eOk; // no record: a drawing without properties
    if ((status = objectAt(read, fileSize, map, layout, record, data, object)) != Acad::eOk ||
        (status = checkRecordType(read, file, object.type)) != Acad::eOk)
        return status;
    std::vector<TextItem> texts;
    if ((status = readRecordItems(data, layout, object, texts)) != Acad::eOk)
        return status;
    SummaryData properties;
    propertiesFromItems(texts, form, properties);
    out = std::move(properties);
    return Acad::eOk;
}

} // namespace ac1015
} // namespace dwg
} // namespace minihost
