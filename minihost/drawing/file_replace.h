// Replacing a file where other programs and people share it: the step of every save that does
// not depend on the drawing's format. The format's code only writes the new content to a
// descriptor; this step decides which file that content replaces, whether the process may,
// whether the file is still the one the drawing was read from, and makes the new file take its
// place whole, with the old one's owner, permissions and extended attributes, or not at all.
// See docs/drawing-file.md, "Saving safely".
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "host/acad_status.h"

namespace minihost {

// A file as it was when a drawing was read from it (or last saved to it): enough to tell later
// whether the file at its path is still that file, unchanged.
struct FileIdentity {
    bool known = false;
    std::string path; // physical: folders resolved, a final symbolic link followed
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {};
};

// Records the open file `fd`, opened by `path`, in `identity`. False when fstat fails or the
// path cannot be resolved; `identity` is then unknown and no save checks against it.
bool identifyFile(int fd, const std::string& path, FileIdentity& identity);

// The folder (physical, symbolic links resolved) and the name that a save to `path` writes:
// a final symbolic link is followed, so the file it points to is replaced and the link kept.
Acad::ErrorStatus resolveSaveTarget(const std::string& path, std::string& folder,
                                    std::string& name);

struct ReplaceRequest {
    std::string path;        // where to save, as the system's bytes
    bool keepBackup = false; // keep the replaced file as <name>.bak beside it
    // The file the new content derives from and an open descriptor of it (the writer copies
    // from it), or nullptr and -1 for a drawing that has no file.
    const FileIdentity* source = nullptr;
    int sourceFd = -1;
    // The files the drawing last knew at other paths (saved to them), or nullptr.
    const std::vector<FileIdentity>* elsewhere = nullptr;
    // Writes the whole new content to `fd` from its current position.
    std::function<Acad::ErrorStatus(int fd)> write;
    // When given: checks the new file `fd` once it is flushed, before it takes the path; any
    // status but eOk fails the save with that status.
    std::function<Acad::ErrorStatus(int fd)> verify;
};

struct ReplaceResult {
    int fd = -1;           // the new file, open for reading and writing; the caller closes it
    FileIdentity identity; // the new file as it stands at the path
};

// Replaces the file at `request.path` with what `request.write` writes, or creates it. On eOk
// the path holds the new file completely and `result` describes it. On any other status the
// path, the backup and the folder are as they were:
//   eFileAccessErr          the process may not write the file or its folder, or it is no
//                           regular file
//   eFileNotFound           the folder does not exist
//   eFileSharingViolation   the file changed since the drawing was read from it, or another
//                           save holds it for longer than a save takes
//   eFileWriteError, eFileSystemErr, eOutOfMemory, or what `write` returned.
Acad::ErrorStatus replaceFile(const ReplaceRequest& request, ReplaceResult& result);

} // namespace minihost
