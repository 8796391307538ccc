// The platform runtime's wide-string and path functions, with the host platform's semantics on
// POSIX paths: '/' separates, a backslash is an ordinary character, and a bad parameter goes to
// the invalid-parameter handler as on the host's platform (invalid_parameter.h): by default it
// ends the process. Paths pass between wide text and the system's bytes through path_text.h,
// byte for byte.
#include "host/wide_runtime.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "minihost/runtime/current_folder.h"
#include "minihost/runtime/invalid_parameter.h"
#include "minihost/runtime/text/path_text.h"

namespace {

// `path` made absolute when its last name is a plain one (not "", "." or "..") and its folder
// exists: that folder resolved by one realpath, or none for a name in the current folder
// (getcwd gives it resolved already). The same result as the step-by-step resolution below at
// a fraction of its system calls, which grow with the square of the folder's depth. False when
// the path is not of this kind.
bool resolvedAtOnce(const std::string& path, const std::string& cwd, std::string& out) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return false;
    std::string folder = cwd;
    if (slash != std::string::npos) {
        std::unique_ptr<char, void (*)(void*)> real(
            realpath(slash == 0 ? "/" : path.substr(0, slash).c_str(), nullptr), std::free);
        if (!real)
            return false;
        folder = real.get();
    }
    out = (folder == "/" ? std::string() : folder) + '/' + name;
    return true;
}

// `path` made absolute against `cwd`. The folders that exist are resolved as the system
// resolves them, symbolic links included, so that the result names the file that opening
// `path` reaches: "link/../a" is "a" beside the folder the link points to, not beside the
// link. The last name is kept as it is (a link there names the link), and what does not exist
// is resolved as text.
std::string absoluteForm(const std::string& path, const std::string& cwd) {
    std::string quick;
    if (resolvedAtOnce(path, cwd, quick))
        return quick;
    std::string whole = path[0] == '/' ? path : cwd + '/' + path;
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at <= whole.size()) {
        std::size_t slash = whole.find('/', at);
        if (slash == std::string::npos)
            slash = whole.size();
        std::string part = whole.substr(at, slash - at);
        if (!part.empty() && part != ".")
            parts.push_back(std::move(part));
        at = slash + 1;
    }
    std::string out; // "" stands for the root
    bool physical = true;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == "..") {
            out.erase(out.empty() ? 0 : out.rfind('/')); // ".." at the root stays at the root
            continue;
        }
        std::string next = out + '/' + parts[i];
        if (physical && i + 1 < parts.size()) {
            std::unique_ptr<char, void (*)(void*)> real(realpath(next.c_str(), nullptr), std::free);
            if (real) {
                out = real.get();
                if (out == "/")
                    out.clear();
                continue;
            }
            physical = false; // from here on nothing exists: text is all there is
        }
        out = std::move(next);
    }
    if (out.empty())
        return "/";
    if (path.back() == '/')
        out += '/'; // a path written as a folder keeps its closing separator
    return out;
}

wchar_t foldAsciiUpper(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c;
}

} // namespace

extern "C" wchar_t* _wfullpath(wchar_t* buffer, const wchar_t* path, std::size_t size) {
    if (!path || !*path)
        return nullptr;
    std::wstring result;
    try {
        std::string bytes, cwd;
        if (!minihost::pathBytes(path, bytes))
            return nullptr; // names no file the system could hold
        if (path[0] != L'/') {
            cwd = minihost::currentFolder();
            if (cwd.empty())
                return nullptr;
        }
        result = minihost::pathText(absoluteForm(bytes, cwd));
    } catch (...) {
        return nullptr; // out of memory: the runtime reports failure, it does not throw
    }
    bool allocate = buffer == nullptr;
    if (allocate && size == 0)
        size = 260; // as the platform's runtime does for a buffer it allocates
    if (result.size() + 1 > size)
        return nullptr; // the buffer is left untouched
    if (allocate) {
        buffer = static_cast<wchar_t*>(std::malloc(size * sizeof(wchar_t)));
        if (!buffer)
            return nullptr;
    }
    std::wmemcpy(buffer, result.c_str(), result.size() + 1);
    return buffer;
}

extern "C" int _wcsicmp(const wchar_t* a, const wchar_t* b) {
    if (!a || !b) {
        minihost::invalidParameter("_wcsicmp");
        return INT_MAX; // the runtime's "cannot compare" result
    }
    for (;; ++a, ++b) {
        wchar_t ca = foldAsciiUpper(*a);
        wchar_t cb = foldAsciiUpper(*b);
        if (ca != cb || ca == 0) {
            // Compared as unsigned units, as the platform's 16-bit wchar_t is.
            auto ua = static_cast<std::uint32_t>(ca);
            auto ub = static_cast<std::uint32_t>(cb);
            return ua < ub ? -1 : ua > ub ? 1 : 0;
        }
    }
}

namespace minihost {
namespace {

void abortOnInvalidParameter(const char* function) {
    std::fprintf(stderr, "invalid parameter passed to %s: the process ends\n", function);
    std::abort();
}

InvalidParameterHandler gInvalidParameter = abortOnInvalidParameter;

} // namespace

InvalidParameterHandler setInvalidParameterHandler(InvalidParameterHandler handler) {
    InvalidParameterHandler previous = gInvalidParameter;
    gInvalidParameter = handler ? handler : abortOnInvalidParameter;
    return previous == abortOnInvalidParameter ? nullptr : previous;
}

void invalidParameter(const char* function) {
    gInvalidParameter(function);
}

} // namespace minihost

extern "C" errno_t wcscpy_s(wchar_t* destination, std::size_t size, const wchar_t* source) {
    if (!destination || size == 0) {
        minihost::invalidParameter("wcscpy_s");
        return EINVAL;
    }
    if (!source) {
        destination[0] = L'\0';
        minihost::invalidParameter("wcscpy_s");
        return EINVAL;
    }
    std::size_t length = wcsnlen(source, size);
    if (length == size) { // no room for the terminator
        destination[0] = L'\0';
        minihost::invalidParameter("wcscpy_s");
        return ERANGE;
    }
    std::wmemmove(destination, source, length + 1);
    return 0;
}
