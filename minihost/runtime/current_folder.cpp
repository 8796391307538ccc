#include "minihost/runtime/current_folder.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace minihost {
namespace {

struct Memo {
    int scopes = 0;
    bool known = false;
    std::string folder;
};

Memo& memo() {
    static Memo* m = new Memo; // lives as long as the process: calls may run during teardown
    return *m;
}

std::string askSystem() {
    std::vector<char> bytes(256);
    while (!::getcwd(bytes.data(), bytes.size())) {
        if (errno != ERANGE || bytes.size() > (1u << 20))
            return {};
        bytes.resize(bytes.size() * 2);
    }
    return bytes.data();
}

} // namespace

std::string currentFolder() {
    Memo& m = memo();
    if (m.known)
        return m.folder;
    std::string folder = askSystem();
    if (m.scopes > 0 && !folder.empty()) {
        m.folder = folder;
        m.known = true;
    }
    return folder;
}

CurrentFolderScope::CurrentFolderScope() {
    ++memo().scopes;
}

CurrentFolderScope::~CurrentFolderScope() {
    Memo& m = memo();
    if (--m.scopes == 0)
        m.known = false;
}

} // namespace minihost
