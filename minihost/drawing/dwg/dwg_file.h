// A binary drawing read from an open file, through the file layer (its reads are counted and
// can be failed like any other).
#pragma once

#include <string>
#include <sys/types.h>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/dwg_read.h"

namespace minihost {
namespace dwg {

// Reads the binary drawing in the open file `fd` of `size` bytes into `out`. `first`, when
// given, holds the file's first bytes as the caller read them: they are not read again.
Acad::ErrorStatus readBinaryFile(int fd, off_t size, BinaryDrawing& out, std::string first = {});

// The ReadBytes of an open file: short reads are continued, the end of the file is
// eDwgNeedsRecovery, a failed read eFileAccessErr. It reads at least 4 KiB at a time and serves
// the next reads from those bytes while they hold them, and from `first`, the file's first
// bytes as already read: make a new one to see the file anew.
ReadBytes fileBytes(int fd, std::string first = {});

} // namespace dwg
} // namespace minihost
