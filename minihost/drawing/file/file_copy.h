// Writing and copying bytes between descriptors through the file layer (file_faults.h): what
// the writers of every format and the replace step use to fill a new file.
#pragma once

#include <cstddef>
#include <sys/types.h>

#include "host/status_codes.h"

namespace minihost {
namespace drawing {

// Writes all of data[0, size) to `fd`; eFileWriteError when it cannot.
Acad::ErrorStatus writeAll(int fd, const char* data, std::size_t size);
// Copies [from, to) of `in` to the end of `out`: in the kernel where it can, else by reading.
// eFileAccessErr when `in` cannot be read that far, eFileWriteError when `out` cannot be written.
Acad::ErrorStatus copyRange(int in, off_t from, off_t to, int out);

} // namespace drawing
} // namespace minihost
