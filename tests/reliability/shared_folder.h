// Helpers of the shared-folder save tests: drawings made and read through the stand-in,
// setsumleaf on a closed drawing, and work done in a child process (killed, or with another
// user's rights).
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace shared_folder {

namespace fs = std::filesystem;

// A new drawing at `path` with `title`; false when it could not be saved.
bool makeDrawing(const fs::path& path, const std::wstring& title);
// The title of the drawing at `path`, or "<unreadable>".
std::wstring titleOf(const fs::path& path);
// The value of custom key `key` in the drawing at `path`, or "<missing>".
std::wstring customValue(const fs::path& path, const std::wstring& key);
// setsumleaf on the closed drawing at the wide path `path`, merging key = value: whether it
// returned the list (and so reported the drawing saved).
bool merge(const std::wstring& path, const std::wstring& key, const std::wstring& value);
bool merge(const fs::path& path, const std::wstring& key, const std::wstring& value);

// Runs `body` in a child process and returns its exit code, or 128 + the signal that ended it.
int inChild(const std::function<int()>& body);
// Runs `body` in a child process with the rights of an unprivileged user (uid and gid 65534).
int asNobody(const std::function<int()>& body);
constexpr unsigned kNobody = 65534;

} // namespace shared_folder
