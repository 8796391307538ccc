#include "tests/reliability/shared_folder.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/host_api.h"
#include "minihost/drawing/drawing_file.h"
#include "minihost/frame/external_calls.h"
#include "props/lisp_functions.h"
#include "minihost/runtime/text/path_text.h"

namespace shared_folder {

// Paths pass to the host byte for byte, as the host's own paths do.
std::wstring wide(const std::string& path) {
    return minihost::pathText(path);
}

bool makeDrawing(const fs::path& path, const std::wstring& title) {
    minihost::SummaryData summary;
    summary.builtIn[minihost::kTitle] = title;
    return minihost::saveDrawingFile(nullptr, summary, wide(path.string()).c_str(), {}) ==
           Acad::eOk;
}

namespace {
bool readSummary(const fs::path& path, minihost::SummaryData& summary) {
    minihost::DrawingFilePtr file;
    return minihost::readDrawingFile(wide(path.string()).c_str(), file, summary) == Acad::eOk;
}
} // namespace

std::wstring titleOf(const fs::path& path) {
    minihost::SummaryData summary;
    return readSummary(path, summary) ? summary.builtIn[minihost::kTitle] : L"<unreadable>";
}

std::wstring customValue(const fs::path& path, const std::wstring& key) {
    minihost::SummaryData summary;
    if (readSummary(path, summary))
        for (const auto& pair : summary.custom)
            if (pair.first == key)
                return pair.second;
    return L"<missing>";
}

bool merge(const std::wstring& path, const std::wstring& key, const std::wstring& value) {
    resbuf* args =
        acutBuildList(RTSTR, path.c_str(), RTT, RTSTR, key.c_str(), RTSTR, value.c_str(), RTNONE);
    minihost::CallResult result = minihost::callHandler(SetSumleafHandler, 0, args);
    acutRelRb(args);
    acutRelRb(result.value);
    return result.kind == minihost::CallResult::Value;
}

bool merge(const fs::path& path, const std::wstring& key, const std::wstring& value) {
    return merge(wide(path.string()), key, value);
}

int inChild(const std::function<int()>& body) {
    pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int asNobody(const std::function<int()>& body) {
    return inChild([&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            return 99;
        return body();
    });
}

} // namespace shared_folder
