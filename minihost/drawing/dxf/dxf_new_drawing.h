// The drawing a new database saves: the smallest complete AC1032 drawing, empty.
#pragma once

#include <string>

namespace minihost {
namespace dxf {

// The DXF text of an empty AC1032 drawing with no summary properties, CRLF line ends: the
// bytes of new_drawing.dxf beside this header. Handles are fixed: tables 1..A, root dictionary
// C, group dictionary D, records from 10, $HANDSEED after them.
std::string newDrawingText();

} // namespace dxf
} // namespace minihost
