// Helpers of the drawing file tests: paths, fixtures, and the independent reader.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "minihost/drawing/drawing_file.h"

namespace drawing_test {

namespace fs = std::filesystem;

std::wstring widePath(const fs::path& path);
Acad::ErrorStatus read(const fs::path& path, minihost::DrawingFilePtr& file,
                       minihost::SummaryData& summary);
Acad::ErrorStatus read(const fs::path& path); // status only
Acad::ErrorStatus save(minihost::DrawingFile* file, const minihost::SummaryData& summary,
                       const fs::path& path, bool keepBackup = false, bool retainPreview = false);
// A fixture written for these tests, beside them.
fs::path fixture(const std::string& name);
std::string replaceOnce(std::string text, const std::string& what, const std::string& with);

// Whether the independent reader (Debian's python3-ezdxf, run by /usr/bin/python3) is here;
// in CI a missing one also fails the running test.
bool haveIndependentReader();
// What the independent reader sees in a drawing: one line per built-in field in the host's
// order (its UTF-8 text in hex), then one line "key-hex value-hex" per custom property, then
// "audit <errors> <fixes> <warnings logged>".
std::string independentView(const fs::path& drawing);
// The same lines made from our own reading.
std::string ourView(const minihost::SummaryData& summary);

} // namespace drawing_test
