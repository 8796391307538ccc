// Files and folders by name: findfile, vl-directory-files, vl-file-delete, vl-file-rename and
// the parts of a file name.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/wide_runtime.h"
#include "minihost/lisp/builtins/lisp_builtins.h"
#include "minihost/lisp/lisp_printer.h"
#include "minihost/lisp/builtins/lisp_text16.h"
#include "minihost/runtime/text/path_text.h"

namespace minihost::lisp {
namespace {

bool statPath(const std::wstring& path, struct stat& info) {
    std::string bytes;
    return !path.empty() && pathBytes(path, bytes) && ::stat(bytes.c_str(), &info) == 0;
}

// findfile looks in the current folder only (the host also searches its support folders);
// a folder is found as a file is.
ValuePtr findfile(Interpreter&, const Args& args) {
    expectArgs(args, 1, 1);
    const std::wstring& name = stringArg(args[0]);
    struct stat info;
    if (!statPath(name, info))
        return nil();
    wchar_t buffer[4096];
    return _wfullpath(buffer, name.c_str(), sizeof buffer / sizeof buffer[0]) ? string(buffer)
                                                                              : nil();
}

// * any run of characters, ? one character; letters of either case alike, as on the host's
// file systems.
bool matches(const std::wstring& pattern, std::size_t p, const std::wstring& name, std::size_t n) {
    while (p < pattern.size()) {
        if (pattern[p] == L'*') {
            for (std::size_t k = n; k <= name.size(); ++k)
                if (matches(pattern, p + 1, name, k))
                    return true;
            return false;
        }
        if (n == name.size() || (pattern[p] != L'?' && pattern[p] != name[n]))
            return false;
        ++p, ++n;
    }
    return n == name.size();
}

// (vl-directory-files [folder pattern mode]): names in `folder` (default the current one)
// matching `pattern` (default "*.*", which matches every name); mode 1 files only, -1
// folders only (with "." and ".."), 0 or nil both. Sorted without regard to case; nil when
// the folder cannot be read or nothing matches.
ValuePtr directoryFiles(Interpreter&, const Args& args) {
    expectArgs(args, 0, 3);
    std::wstring folder = !args.empty() && !isNil(args[0]) ? stringArg(args[0]) : L".";
    std::wstring pattern = args.size() > 1 && !isNil(args[1]) ? stringArg(args[1]) : L"*.*";
    std::int32_t mode = args.size() > 2 && !isNil(args[2]) ? intArg(args[2]) : 0;
    pattern = changeCase(pattern == L"*.*" ? L"*" : pattern, true);
    std::string bytes;
    DIR* dir =
        pathBytes(folder.empty() ? L"." : folder, bytes) ? ::opendir(bytes.c_str()) : nullptr;
    if (!dir)
        return nil();
    std::vector<std::pair<std::wstring, std::wstring>> found; // folded name, name
    while (const dirent* entry = ::readdir(dir)) {
        std::wstring name = pathText(entry->d_name);
        std::wstring folded = changeCase(name, true);
        struct stat info;
        if (!matches(pattern, 0, folded, 0) || !statPath(folder + L"/" + name, info))
            continue;
        const bool isFolder = S_ISDIR(info.st_mode);
        if ((mode == 1 && isFolder) || (mode == -1 && !isFolder))
            continue;
        found.emplace_back(std::move(folded), std::move(name));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end());
    std::vector<ValuePtr> names;
    for (auto& entry : found)
        names.push_back(string(std::move(entry.second)));
    return list(std::move(names));
}

ValuePtr fileDelete(Interpreter&, const Args& args) {
    expectArgs(args, 1, 1);
    std::string bytes;
    return truth(pathBytes(stringArg(args[0]), bytes) && ::unlink(bytes.c_str()) == 0);
}

// An existing file of the new name is never replaced: the rename fails, as in the host.
ValuePtr fileRename(Interpreter&, const Args& args) {
    expectArgs(args, 2, 2);
    std::string from, to;
    if (!pathBytes(stringArg(args[0]), from) || !pathBytes(stringArg(args[1]), to))
        return nil();
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return t();
    if (errno != EINVAL && errno != ENOSYS)
        return nil();
    struct stat info; // a file system without the flag: check, then rename
    return truth(::lstat(to.c_str(), &info) != 0 && errno == ENOENT &&
                 ::rename(from.c_str(), to.c_str()) == 0);
}

// Where the name of the file starts in `path` (after the last / or \).
std::size_t nameStart(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? 0 : slash + 1;
}

// Where the extension starts (its dot), or npos.
std::size_t extensionStart(const std::wstring& path) {
    std::size_t dot = path.find_last_of(L'.');
    return dot == std::wstring::npos || dot < nameStart(path) ? std::wstring::npos : dot;
}

} // namespace

void defineFolderBuiltins(Interpreter& in) {
    in.define(L"findfile", findfile);
    in.define(L"vl-directory-files", directoryFiles);
    in.define(L"vl-file-delete", fileDelete);
    in.define(L"vl-file-rename", fileRename);
    in.define(L"vl-filename-base", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        const std::wstring& path = stringArg(args[0]);
        std::size_t from = nameStart(path), dot = extensionStart(path);
        return string(path.substr(from, dot == std::wstring::npos ? dot : dot - from));
    });
    in.define(L"vl-filename-extension", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        const std::wstring& path = stringArg(args[0]);
        std::size_t dot = extensionStart(path);
        return dot == std::wstring::npos ? nil() : string(path.substr(dot));
    });
    in.define(L"vl-filename-directory", [](Interpreter&, const Args& args) {
        expectArgs(args, 1, 1);
        const std::wstring& path = stringArg(args[0]);
        std::size_t from = nameStart(path);
        return string(path.substr(0, from == 0 ? 0 : from - 1));
    });
}

} // namespace minihost::lisp
