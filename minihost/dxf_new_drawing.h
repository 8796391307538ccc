// The drawing a new database saves: the smallest complete AC1032 drawing, empty.
#pragma once

#include <string>

namespace minihost {
namespace dxf {

// The DXF text of an empty AC1032 drawing with no summary properties, CRLF line ends.
std::string newDrawingText();

} // namespace dxf
} // namespace minihost
