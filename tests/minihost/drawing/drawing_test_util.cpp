#include "tests/minihost/drawing/drawing_test_util.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/support/chain_text.h"
#include "tests/support/required_program.h"
#include "tests/support/temp_dir.h"

namespace drawing_test {

std::wstring widePath(const fs::path& path) {
    return testing_support::wide(path.string());
}

Acad::ErrorStatus read(const fs::path& path, minihost::DrawingFilePtr& file,
                       minihost::SummaryData& summary) {
    return minihost::readDrawingFile(widePath(path).c_str(), file, summary);
}

Acad::ErrorStatus read(const fs::path& path) {
    minihost::DrawingFilePtr file;
    minihost::SummaryData summary;
    return read(path, file, summary);
}

Acad::ErrorStatus save(minihost::DrawingFile* file, const minihost::SummaryData& summary,
                       const fs::path& path, bool keepBackup, bool retainPreview) {
    minihost::SaveOptions options;
    options.keepBackup = keepBackup;
    options.retainPreview = retainPreview;
    return minihost::saveDrawingFile(file, summary, widePath(path).c_str(), options);
}

fs::path fixture(const std::string& name) {
    return fs::path(SUMLEAF_DRAWING_FIXTURES) / name;
}

std::string replaceOnce(std::string text, const std::string& what, const std::string& with) {
    std::size_t at = text.find(what);
    if (at != std::string::npos)
        text.replace(at, what.size(), with);
    return text;
}

bool haveIndependentReader() {
    return testing_support::haveProgram("/usr/bin/python3 -c 'import ezdxf'", "python3-ezdxf");
}

std::string independentView(const fs::path& drawing) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "view.py", R"(import sys, logging, ezdxf
warnings = []
class Count(logging.Handler):
    def emit(self, record):
        warnings.append(record)
logging.getLogger("ezdxf").addHandler(Count(level=logging.WARNING))
from ezdxf.lldxf.encoding import decode_dxf_unicode
from ezdxf.tools.text import caret_decode
doc = ezdxf.readfile(sys.argv[1])
def h(s): # the text with the format's escapes undone by ezdxf's own helpers
    s = caret_decode(s or "")
    if doc.dxfversion <= "AC1018": # characters outside the code page are \U+XXXX escapes
        s = decode_dxf_unicode(s).encode("utf-16-le", "surrogatepass").decode("utf-16-le")
    return s.encode("utf-8", "surrogateescape").hex()
for name in ("TITLE", "SUBJECT", "AUTHOR", "KEYWORDS", "COMMENTS", "LASTSAVEDBY",
             "REVISIONNUMBER", "HYPERLINKBASE"):
    print(h(doc.header.get("$" + name, "")))
for key, value in doc.header.custom_vars:
    print(h(key), h(value))
audit = doc.audit()
print("audit", len(audit.errors), len(audit.fixes), len(warnings))
)");
    std::string command =
        "/usr/bin/python3 " + (dir / "view.py").string() + " '" + drawing.string() + "' 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, got);
        pclose(pipe);
    }
    return out;
}

std::string ourView(const minihost::SummaryData& summary) {
    auto hex = [](const std::wstring& text) {
        static const char digits[] = "0123456789abcdef";
        std::string out;
        for (unsigned char c : testing_support::utf8(text)) {
            out += digits[c >> 4];
            out += digits[c & 15];
        }
        return out;
    };
    std::string out;
    for (const std::wstring& field : summary.builtIn)
        out += hex(field) + "\n";
    for (const auto& pair : summary.custom)
        out += hex(pair.first) + " " + hex(pair.second) + "\n";
    return out + "audit 0 0 0\n";
}

} // namespace drawing_test
