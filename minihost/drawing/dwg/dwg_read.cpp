#include "minihost/drawing/dwg/dwg_read.h"

#include <algorithm>

#include "minihost/drawing/dwg/ac1015/ac1015_read.h"
#include "minihost/drawing/dwg/ac1021/ac1021_read.h"
#include "minihost/drawing/dwg/dwg_bytes.h"

namespace minihost {
namespace dwg {
namespace {

constexpr std::size_t kVersionSize = 6;
constexpr std::size_t kCodePageIndex = 0x13;
constexpr std::size_t kSecurityFlags = 0x18;
constexpr std::uint32_t kSummaryEncrypted = 0x2;

bool isDigitOrDot(std::uint8_t c) {
    return (c >= '0' && c <= '9') || c == '.';
}

// AC1015 and the versions before it: no container, no security flags, only the properties.
Acad::ErrorStatus readUnpaged(const ReadBytes& read, std::uint64_t fileSize, std::size_t have,
                              BinaryDrawing& drawing, BinaryDrawing& out) {
    if (have < kStartSize)
        return Acad::eDwgNeedsRecovery;
    drawing.form = textForm(drawing.version, get16(drawing.start + kCodePageIndex));
    const Acad::ErrorStatus status = ac1015::readProperties(read, fileSize, drawing.start, have,
                                                            drawing.form, drawing.record.data);
    if (status == Acad::eOk)
        out = std::move(drawing);
    return status;
}

} // namespace

bool isBinaryDrawing(const std::uint8_t* start, std::size_t n) {
    if (n < kVersionSize || start[0] != 'A' || start[1] != 'C')
        return false;
    for (std::size_t i = 2; i < kVersionSize; ++i)
        if (!isDigitOrDot(start[i]))
            return false;
    return true;
}

Acad::ErrorStatus readBinaryDrawing(const ReadBytes& read, std::uint64_t fileSize,
                                    BinaryDrawing& out) {
    BinaryDrawing drawing;
    std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kStartSize));
    Acad::ErrorStatus status = read(0, have, drawing.start);
    if (status != Acad::eOk)
        return status;
    if (!isBinaryDrawing(drawing.start, have))
        return Acad::eNotADrawing;
    drawing.version.assign(reinterpret_cast<const char*>(drawing.start), kVersionSize);
    const std::string& v = drawing.version;
    const bool ac1021 = v == "AC1021";
    if (ac1015::isUnpagedVersion(v))
        return readUnpaged(read, fileSize, have, drawing, out);
    bool container = v == "AC1018" || v == "AC1024" || v == "AC1027" || v == "AC1032";
    if (!container && !ac1021)
        return v < "AC1018" || v.find('.') != std::string::npos ? Acad::eUnsupportedVersion
                                                                : Acad::eInvalidDwgVersion;
    if (have < kStartSize)
        return Acad::eDwgNeedsRecovery;
    drawing.securityFlags = get32(drawing.start + kSecurityFlags);
    if (drawing.securityFlags & kSummaryEncrypted)
        return Acad::eSecErrorDecryptingData;
    drawing.form = textForm(v, get16(drawing.start + kCodePageIndex));

    status = ac1021 ? ac1021::readSummarySection(read, fileSize, drawing.container.summary)
                    : readContainer(read, fileSize, drawing.start, drawing.container);
    if (status != Acad::eOk)
        return status;
    if (drawing.container.summary.present && !drawing.container.summary.data.empty()) {
        status = parseSummary(drawing.container.summary.data, drawing.form, drawing.record);
        if (status != Acad::eOk)
            return status;
    }
    out = std::move(drawing);
    return Acad::eOk;
}

} // namespace dwg
} // namespace minihost
