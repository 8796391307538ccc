#include "dwg_test_util.h"

#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "tests/support/temp_dir.h"

namespace dwg_test {

namespace fs = std::filesystem;

fs::path sharedBinaryDrawings() {
    return testing_support::sharedDrawings().parent_path() / "dwg";
}

namespace {
std::wstring wide(const std::string& utf8) {
    std::wstring out; // the fixtures' texts: decode UTF-8 by hand, no locale involved
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        std::uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += static_cast<wchar_t>(code);
        i += 1 + extra;
    }
    return out;
}
} // namespace

std::vector<Expected> expectedDrawings() {
    static const char* const kFields[minihost::kBuiltInCount] = {
        "Title",    "Subject",     "Author",         "Keywords",
        "Comments", "LastSavedBy", "RevisionNumber", "HyperlinkBase"};
    auto json =
        nlohmann::json::parse(testing_support::readFile(sharedBinaryDrawings() / "expected.json"));
    std::vector<Expected> out;
    for (auto& [name, entry] : json.items()) {
        Expected e;
        e.name = name;
        e.version = entry["version"].get<std::string>();
        e.hasSummary = !entry["builtins"].is_null();
        if (e.hasSummary) {
            for (int i = 0; i < minihost::kBuiltInCount; ++i)
                e.summary.builtIn[i] = wide(entry["builtins"][kFields[i]].get<std::string>());
            for (auto& pair : entry["custom"])
                e.summary.custom.emplace_back(wide(pair[0].get<std::string>()),
                                              wide(pair[1].get<std::string>()));
        }
        out.push_back(std::move(e));
    }
    return out;
}

Acad::ErrorStatus readMemory(const std::string& bytes, minihost::dwg::BinaryDrawing& out,
                             std::uint64_t* readBytes) {
    std::uint64_t count = 0;
    auto read = [&](std::uint64_t offset, std::size_t n, std::uint8_t* to) {
        if (offset > bytes.size() || n > bytes.size() - offset)
            return Acad::eDwgNeedsRecovery;
        std::memcpy(to, bytes.data() + offset, n);
        count += n;
        return Acad::eOk;
    };
    Acad::ErrorStatus status = minihost::dwg::readBinaryDrawing(read, bytes.size(), out);
    if (readBytes)
        *readBytes = count;
    return status;
}

nlohmann::json independentCheck(const fs::path& drawing) {
    const fs::path tool = sharedBinaryDrawings().parent_path() / "tools" / "dwg-check";
    if (!fs::exists(tool / "dwg-check"))
        return nullptr;
    // The tool's library names are links in its own build; where they arrived as plain files
    // (a copy that does not keep links), run it from a folder that links them again.
    static testing_support::TempDir linked;
    static const bool made = [&] {
        const fs::path dir = linked.path();
        fs::create_directory(dir / "bin");
        fs::create_directory(dir / "lib");
        fs::copy_file(tool / "dwg-check", dir / "dwg-check");
        fs::create_symlink(tool / "bin" / "dwgread", dir / "bin" / "dwgread");
        for (const auto& entry : fs::directory_iterator(tool / "lib"))
            if (!entry.is_symlink() &&
                fs::file_size(entry.path()) > 4096) // the library, by all names
                for (std::string name : {std::string("libredwg.so"), std::string("libredwg.so.0"),
                                         entry.path().filename().string()})
                    fs::create_symlink(entry.path(), dir / "lib" / name);
        return true;
    }();
    (void)made;
    fs::path out = linked.path() / "out.json";
    std::string command = "'" + (linked.path() / "dwg-check").string() + "' --full '" +
                          drawing.string() + "' >'" + out.string() + "' 2>/dev/null";
    (void)std::system(command.c_str());
    return nlohmann::json::parse(testing_support::readFile(out), nullptr, false);
}

} // namespace dwg_test
