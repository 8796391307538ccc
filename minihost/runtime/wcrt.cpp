// The platform runtime's wide-string and path functions, with the host platform's semantics on
// POSIX paths: '/' separates, a backslash is an ordinary character, and where the host's
// runtime would stop the process on a bad parameter these return an error code instead.
#include "host/wcrt.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <unistd.h>
#include <vector>

#include "minihost/runtime/utf8.h"

namespace {

// The current directory as wide text (its bytes read as UTF-8), or "" when unknown.
std::wstring currentDirectory() {
    std::vector<char> bytes(256);
    while (!getcwd(bytes.data(), bytes.size())) {
        if (errno != ERANGE || bytes.size() > (1u << 20))
            return {};
        bytes.resize(bytes.size() * 2);
    }
    return minihost::decodeUtf8(std::string(bytes.data()));
}

// `path` made absolute against `cwd`, with "." and ".." resolved as text.
std::wstring absoluteForm(const std::wstring& path, const std::wstring& cwd) {
    std::wstring whole = path[0] == L'/' ? path : cwd + L'/' + path;
    std::vector<std::wstring> parts;
    std::size_t at = 0;
    while (at <= whole.size()) {
        std::size_t slash = whole.find(L'/', at);
        if (slash == std::wstring::npos)
            slash = whole.size();
        std::wstring part = whole.substr(at, slash - at);
        if (part == L"..") {
            if (!parts.empty())
                parts.pop_back(); // ".." at the root stays at the root
        } else if (!part.empty() && part != L".") {
            parts.push_back(std::move(part));
        }
        at = slash + 1;
    }
    std::wstring out;
    for (const std::wstring& part : parts)
        out += L'/' + part;
    if (out.empty())
        return L"/";
    if (path.back() == L'/')
        out += L'/'; // a path written as a folder keeps its closing separator
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
        std::wstring cwd;
        if (path[0] != L'/') {
            cwd = currentDirectory();
            if (cwd.empty())
                return nullptr;
        }
        result = absoluteForm(path, cwd);
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
    if (!a || !b)
        return INT_MAX; // the runtime's "cannot compare" result
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

extern "C" errno_t wcscpy_s(wchar_t* destination, std::size_t size, const wchar_t* source) {
    if (!destination || size == 0)
        return EINVAL;
    if (!source) {
        destination[0] = L'\0';
        return EINVAL;
    }
    std::size_t length = wcsnlen(source, size);
    if (length == size) { // no room for the terminator
        destination[0] = L'\0';
        return ERANGE;
    }
    std::wmemmove(destination, source, length + 1);
    return 0;
}
