// The verbose mode's switch and its one line per failure.
#include "minihost/drawing/failure_report.h"

#include <cstdio>
#include <new>
#include <string>

#include "minihost/runtime/text/path_text.h"
#include "minihost/runtime/status_names.h"
#include "minihost/runtime/text/utf8.h"

namespace {
bool gReports = false;

// The path's bytes as the system has them; a text that no path can hold, as UTF-8.
std::string printable(const wchar_t* file) {
    std::string bytes;
    if (!file)
        return bytes;
    std::wstring text(file);
    if (!minihost::pathBytes(text, bytes))
        bytes = minihost::encodeUtf8(text);
    return bytes;
}
} // namespace

void minihost::setFailureReports(bool on) {
    gReports = on;
}

bool minihost::failureReports() {
    return gReports;
}

Acad::ErrorStatus minihost::reportFailure(const char* operation, const wchar_t* file,
                                          Acad::ErrorStatus status) {
    if (!gReports || status == Acad::eOk)
        return status;
    std::fflush(stdout); // what the program printed before the failure comes first
    try {
        const char* name = statusName(status);
        std::string line = std::string("; ") + operation + " " + printable(file) + ": " +
                           (name ? name : "status " + std::to_string(status)) + "\n";
        std::fputs(line.c_str(), stderr);
    } catch (const std::bad_alloc&) {
        std::fputs("; a drawing-file operation failed (out of memory)\n", stderr);
    }
    return status;
}
