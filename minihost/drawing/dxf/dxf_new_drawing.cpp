#include "minihost/drawing/dxf/dxf_new_drawing.h"

#include <cstddef>

namespace minihost {
namespace dxf {

// new_drawing.dxf, embedded at build time (cmake/embed_file.cmake).
extern const unsigned char kNewDrawingDxf[];
extern const std::size_t kNewDrawingDxf_size;

std::string newDrawingText() {
    return std::string(reinterpret_cast<const char*>(kNewDrawingDxf), kNewDrawingDxf_size);
}

} // namespace dxf
} // namespace minihost
